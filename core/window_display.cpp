#include "core/window_display.h"

namespace ferrolo::core {

void Azzera_Campi_Video(Window_Display& display) {
    for (const Label label :
         {Label::l_operation, Label::l_to, Label::l_nfiles, Label::l_bytes, Label::l_stato, Label::l_file}) {
        display.set_label(label, "");
    }
}

}  // namespace ferrolo::core
