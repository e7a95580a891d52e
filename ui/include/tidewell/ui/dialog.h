// Dialogs built from a template: modal dialogs with their controls found by id,
// and the open-file dialog.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/control.h"
#include "tidewell/ui/resources.h"
#include "tidewell/ui/text.h"
#include "tidewell/ui/window.h"

namespace tidewell::ui {

// The controls of one template, in template order, with stable addresses.
class ControlSet {
  public:
    void build(Window& owner, const DialogTemplate& tpl);
    void reset();  // every control back to its template state
    Control* find(int id);
    const Control* find(int id) const;
    const std::vector<std::unique_ptr<Control>>& all() const { return controls_; }

  private:
    std::vector<std::unique_ptr<Control>> controls_;
};

// A modal dialog. The object outlives its windows: each DoModal creates a new
// window from the template, with every control back at its template state,
// and destroys it when the modal run ends. Control objects keep their address
// for the object's life, so pages may hold Control& members.
//
// Order of events in DoModal: controls reset, handle created, DoDataExchange,
// on-screen peer built, OnInitDialog, modal loop (unless the dialog already
// ended), window destroyed. Returns the value given to EndDialog, or
// kDialogFailed (-1) when the template does not exist or the run was aborted.
class Dialog : public Window {
  public:
    Dialog(int templateId, Window* parent);
    Dialog(int templateId, Platform& platform);
    ~Dialog() override;

    int DoModal();
    void EndDialog(int result);

    int GetTemplateId() const { return templateId_; }
    const DialogTemplate* GetTemplate() const { return tpl_; }

    // The control with that id; throws std::out_of_range naming template and id.
    Control& GetDlgItem(int id);
    const Control& GetDlgItem(int id) const;
    Control* FindDlgItem(int id) override;
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_.all(); }

    // The window's system menu (items a page adds deliver WM_SYSCOMMAND with their
    // id); null when the template has no WS_SYSMENU. Starts empty on each window.
    Menu* GetSystemMenu();

    bool isEnding() const { return ending_; }
    int endResult() const { return result_; }
    // Control the Enter key activates: the BS_DEFPUSHBUTTON button, else IDOK.
    int defaultButtonId() const;

  protected:
    virtual void DoDataExchange() {}
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // IDOK -> OnOK, IDCANCEL -> OnCancel, after the handler maps.
    bool OnCommand(int id) override;
    // Close box: IDCANCEL, unless the dialog has a disabled control IDCANCEL.
    void OnClose() override;

  private:
    void init(int templateId);

    int templateId_;
    const DialogTemplate* tpl_ = nullptr;
    ControlSet controls_;
    std::unique_ptr<Menu> systemMenu_;
    bool ending_ = false;
    int result_ = kDialogFailed;
};

// What an open-file dialog is asked to show.
struct FileDialogRequest {
    bool open = true;
    std::string defaultExt;
    std::string fileName;  // starting name: "folder/name" or "folder/pattern*.ext"
    UINT flags = 0;
    std::string filter;               // "text|pattern|text|pattern||"
    std::vector<FileFilter> filters;  // parsed from filter
    std::string initialFolder;        // part of fileName before the last '/'
    std::string initialName;          // part after it (may be a wildcard pattern)
};

// Splits a starting name into the request's folder and name.
FileDialogRequest makeFileDialogRequest(bool open, std::string_view defaultExt,
                                        std::string_view fileName, UINT flags,
                                        std::string_view filter);

// The open-file dialog. DoModal returns IDOK with a chosen file, IDCANCEL otherwise.
class FileDialog {
  public:
    FileDialog(Platform& platform, bool openFileDialog, std::string_view defaultExt,
               std::string_view fileName, UINT flags, std::string_view filter,
               Window* parent = nullptr);

    int DoModal();
    std::string GetPathName() const { return path_; }  // full path of the chosen file
    std::string GetFileName() const;                   // name and extension, no folder
    const FileDialogRequest& request() const { return request_; }

  private:
    Platform& platform_;
    Window* parent_;
    FileDialogRequest request_;
    std::string path_;
};

}  // namespace tidewell::ui
