#include "console/ManualForm.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireDataFiles() {}

} // namespace console
