// The native build's services: the stand-ins of gui/standalone_services.h.
#include "gui/standalone_services.h"

namespace gui {

TARN_GUI_STANDALONE_SERVICES()

}  // namespace gui
