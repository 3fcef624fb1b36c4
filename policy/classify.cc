// Classifying the printer through libcups' PPD parser.
//
// libcups marks its whole PPD interface deprecated; every call into it is
// kept in this file, which alone is built without deprecation warnings.
#include "policy/policy.h"

ModelInfo gModelInfo = {static_cast<PrinterKind>(-1), -1};

void PpdCloser::operator()(ppd_file_t* ppd) const { ppdClose(ppd); }

PpdHandle openPpd(const char* path) { return PpdHandle(ppdOpenFile(path)); }

int determineModel(ppd_file_t* ppd) {
  if (ppd == nullptr) return -1;
  gModelInfo.kind =
      ppd->color_device != 0 ? PrinterKind::ColorLaser : PrinterKind::MonoLaser;
  gModelInfo.modelNumber = ppd->model_number;
  return ppdFindAttr(ppd, "cupsCommands", nullptr) != nullptr ? 1 : -1;
}
