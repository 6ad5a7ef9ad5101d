#include "console/ManualForm.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireExchange() {}

} // namespace console
