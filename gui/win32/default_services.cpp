// The product's services. Until the window system's backends replace them
// one by one, the stand-ins of gui/standalone_services.h serve.
#include "gui/standalone_services.h"

namespace gui {

TARN_GUI_STANDALONE_SERVICES()

}  // namespace gui
