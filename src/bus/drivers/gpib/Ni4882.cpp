// NI-488.2's 64-bit ni4882.dll: status per thread through functions, the
// file calls in their A (8-bit name) forms.

#include "bus/drivers/GpibAdvice.h"
#include "bus/drivers/GpibLibrary.h"

namespace bus {

const GpibFlavour& gpibFlavour() {
    static const GpibFlavour flavour{"ni4882.dll", "ibwrtfA", "ibrdfA", false, &ni4882Advice};
    return flavour;
}

} // namespace bus
