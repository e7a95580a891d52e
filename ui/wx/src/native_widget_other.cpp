// Toolkits other than GTK: the wx defaults stand.
#include "native_widget.h"
#include "tidewell/ui/wx/testing.h"

namespace tidewell::ui::wxb::native {

int minimumHeight(wxWindow* /*widget*/) {
    return 0;
}

void fillHeight(wxWindow* /*progressBar*/, int /*height*/) {}

void describe(wxWindow* /*widget*/, AccessibleRole /*role*/) {}

// Without a way to keep a widget unseen yet in the accessible tree (a native Windows
// control paints its own box over the parent's text): out of sight, still readable.
void drawNothing(wxWindow* widget) {
    widget->Move(-widget->GetSize().x - 10000, -widget->GetSize().y - 10000);
}

}  // namespace tidewell::ui::wxb::native

namespace tidewell::ui::wxtest {

struct ToolkitMessages::State {
    std::vector<std::string> messages;
};

ToolkitMessages::ToolkitMessages() : state_(std::make_unique<State>()) {}
ToolkitMessages::~ToolkitMessages() = default;
const std::vector<std::string>& ToolkitMessages::messages() const {
    return state_->messages;
}

}  // namespace tidewell::ui::wxtest
