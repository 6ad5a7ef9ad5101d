#include "console/ManualForm.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireAbout() {}

} // namespace console
