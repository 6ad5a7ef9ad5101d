// NI-488.2's 32-bit Gpib-32.dll: it writes the status variables each thread
// registers with it; the file calls in their A (8-bit name) forms.

#include "bus/drivers/GpibAdvice.h"
#include "bus/drivers/GpibLibrary.h"

namespace bus {

const GpibFlavour& gpibFlavour() {
    static const GpibFlavour flavour{"Gpib-32.dll", "ibwrtfA", "ibrdfA", true, &ni4882Advice};
    return flavour;
}

} // namespace bus
