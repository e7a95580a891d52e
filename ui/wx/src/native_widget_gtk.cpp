#include <gtk/gtk.h>

#include <string>
#include <string_view>
#include <vector>

#include "native_widget.h"
#include "tidewell/ui/wx/testing.h"

namespace tidewell::ui::wxb::native {
namespace {

GtkWidget* gtkWidget(wxWindow* widget) {
    return widget != nullptr ? static_cast<GtkWidget*>(widget->GetHandle()) : nullptr;
}

void labelNothing(GtkLabel* label, GParamSpec* /*property*/, gpointer /*data*/) {
    if (gtk_label_get_mnemonic_widget(label) != nullptr) {
        gtk_label_set_mnemonic_widget(label, nullptr);
    }
}

}  // namespace

int minimumHeight(wxWindow* widget) {
    GtkWidget* gtk = gtkWidget(widget);
    if (gtk == nullptr) {
        return 0;
    }
    int minimum = 0;
    gtk_widget_get_preferred_height(gtk, &minimum, nullptr);
    return minimum;
}

void fillHeight(wxWindow* progressBar, int height) {
    GtkWidget* gtk = gtkWidget(progressBar);
    if (gtk == nullptr) {
        return;
    }
    const std::string css =
        "progressbar trough, progressbar progress { min-height: " + std::to_string(height) +
        "px; }";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(gtk), GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

void describe(wxWindow* widget, AccessibleRole role) {
    GtkWidget* gtk = gtkWidget(widget);
    if (gtk == nullptr) {
        return;
    }
    // Made now, while the widget joins its parent: one made later, on an assistive
    // tool's first look, stays in the accessibility bridge's cache after the widget
    // is destroyed, and every later look at the tree trips over it.
    AtkObject* accessible = gtk_widget_get_accessible(gtk);
    switch (role) {
        case AccessibleRole::Heading:
            atk_object_set_role(accessible, ATK_ROLE_HEADING);
            break;
        case AccessibleRole::Status:
            atk_object_set_role(accessible, ATK_ROLE_STATUSBAR);
            if (GTK_IS_LABEL(gtk)) {
                // wx makes each label the mnemonic label of the next control that takes
                // the focus, and GTK tells that control's name by it.
                g_signal_connect(gtk, "notify::mnemonic-widget", G_CALLBACK(labelNothing), nullptr);
            }
            break;
        case AccessibleRole::Default:
            break;
    }
}

void drawNothing(wxWindow* widget) {
    if (GtkWidget* gtk = gtkWidget(widget)) {
        gtk_widget_set_opacity(gtk, 0.0);
    }
}

}  // namespace tidewell::ui::wxb::native

namespace tidewell::ui::wxtest {
namespace {

std::vector<std::string>* capturing = nullptr;

// GTK writes most warnings through structured logging, which bypasses g_log handlers.
GLogWriterOutput writeLog(GLogLevelFlags level, const GLogField* fields, gsize count,
                          gpointer data) {
    if (capturing != nullptr && (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL)) != 0) {
        std::string domain = "?";
        std::string message;
        for (gsize i = 0; i < count; ++i) {
            const std::string_view key = fields[i].key;
            const auto* value = static_cast<const char*>(fields[i].value);
            if (key == "GLIB_DOMAIN") {
                domain = value;
            } else if (key == "MESSAGE") {
                message = value;
            }
        }
        const char* kind = (level & G_LOG_LEVEL_CRITICAL) != 0 ? "-CRITICAL: " : "-WARNING: ";
        capturing->push_back(domain + kind + message);
        return G_LOG_WRITER_HANDLED;
    }
    return g_log_writer_default(level, fields, count, data);
}

}  // namespace

struct ToolkitMessages::State {
    std::vector<std::string> messages;
};

ToolkitMessages::ToolkitMessages() : state_(std::make_unique<State>()) {
    static const bool installed = (g_log_set_writer_func(writeLog, nullptr, nullptr), true);
    static_cast<void>(installed);
    capturing = &state_->messages;
}

ToolkitMessages::~ToolkitMessages() {
    capturing = nullptr;
}

const std::vector<std::string>& ToolkitMessages::messages() const {
    return state_->messages;
}

}  // namespace tidewell::ui::wxtest
