#include "win32/dialogs.h"

#include <commdlg.h>

#include <vector>

#include "win32/text.h"

namespace velkon::win32 {

namespace {

// ---- The input box: a dialog template built in memory ------------------------------------

constexpr WORD kPromptId = 100;
constexpr WORD kEditId = 101;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

class DialogTemplate {
  public:
    DialogTemplate(const std::wstring& title, short width, short height) {
        const DWORD style =
            DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dword(style);
        dword(0);                   // extended style
        count_at_ = words_.size();  // the number of items, filled in as they are added
        word(0);
        word(0);  // x
        word(0);  // y
        word(static_cast<WORD>(width));
        word(static_cast<WORD>(height));
        word(0);  // no menu
        word(0);  // the standard dialog class
        text(title);
        word(8);  // the font's size in points, then its face
        text(L"MS Shell Dlg");
    }

    void item(WORD cls, WORD id, DWORD style, short x, short y, short cx, short cy,
              const std::wstring& caption) {
        while (words_.size() % 2) word(0);  // items start on a DWORD boundary
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        word(static_cast<WORD>(x));
        word(static_cast<WORD>(y));
        word(static_cast<WORD>(cx));
        word(static_cast<WORD>(cy));
        word(id);
        word(0xFFFF);
        word(cls);
        text(caption);
        word(0);  // no creation data
        ++words_[count_at_];
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void word(WORD w) { words_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const std::wstring& s) {
        for (wchar_t c : s) word(static_cast<WORD>(c));
        word(0);
    }
    std::vector<WORD> words_;
    std::size_t count_at_ = 0;
};

struct InputState {
    std::wstring prompt;
    std::wstring text;
    bool accepted = false;
};

INT_PTR CALLBACK input_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<InputState*>(lparam);
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            SetDlgItemTextW(dialog, kPromptId, state->prompt.c_str());
            SetDlgItemTextW(dialog, kEditId, state->text.c_str());
            SendDlgItemMessageW(dialog, kEditId, EM_SETSEL, 0, -1);
            SetFocus(GetDlgItem(dialog, kEditId));
            return FALSE;  // the focus was set here
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            const WORD id = LOWORD(wparam);
            if (id == IDOK) {
                const HWND edit = GetDlgItem(dialog, kEditId);
                std::wstring typed(GetWindowTextLengthW(edit) + 1, L'\0');
                typed.resize(GetWindowTextW(edit, typed.data(), int(typed.size())));
                state->text = typed;
                state->accepted = true;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

// The standard file box: `save` asks for a name to save under (and whether to replace a file).
std::filesystem::path run_file_box(HWND owner, const std::string& title,
                                   const std::filesystem::path& start,
                                   const std::vector<Dialogs::FileFilter>& filters, bool save) {
    std::wstring name(32768, L'\0');
    std::wstring folder;
    if (save || !std::filesystem::is_directory(start)) {
        const std::wstring suggested = start.filename().wstring();
        name.replace(0, suggested.size(), suggested);
        folder = start.parent_path().wstring();
    } else {
        folder = start.wstring();
    }
    const std::wstring filter = file_filter_text(filters);
    const std::wstring caption = widen(title);
    OPENFILENAMEW box{};
    box.lStructSize = sizeof box;
    box.hwndOwner = owner;
    box.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    box.nFilterIndex = 1;
    box.lpstrFile = name.data();
    box.nMaxFile = static_cast<DWORD>(name.size());
    box.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    box.lpstrTitle = caption.c_str();
    box.Flags = OFN_NOCHANGEDIR | OFN_HIDEREADONLY |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&box) : GetOpenFileNameW(&box);
    if (!chosen) return {};
    return std::filesystem::path(name.c_str());
}

}  // namespace

std::wstring file_filter_text(const std::vector<Dialogs::FileFilter>& filters) {
    std::wstring text;
    for (const auto& filter : filters) {
        std::wstring patterns = widen(filter.patterns);
        for (auto& c : patterns) {
            if (c == L' ') c = L';';
        }
        text += widen(filter.name) + L'\0' + patterns + L'\0';
    }
    return text;  // the string's own terminator ends the list
}

std::filesystem::path Win32Dialogs::open_file(const std::string& title,
                                              const std::filesystem::path& start,
                                              const std::vector<FileFilter>& filters) {
    return run_file_box(owner_, title, start, filters, false);
}

std::filesystem::path Win32Dialogs::save_file(const std::string& title,
                                              const std::filesystem::path& start,
                                              const std::vector<FileFilter>& filters) {
    return run_file_box(owner_, title, start, filters, true);
}

UINT message_box_flags(Dialogs::Icon icon) {
    switch (icon) {
        case Dialogs::Icon::Exclamation:
            return MB_OK | MB_ICONEXCLAMATION;
        case Dialogs::Icon::Critical:
            return MB_OK | MB_ICONERROR;
        case Dialogs::Icon::None:
            break;
    }
    return MB_OK;
}

void Win32Dialogs::message(const std::string& text, Icon icon, const std::string& title) {
    MessageBoxW(owner_, widen(text).c_str(), widen(title).c_str(), message_box_flags(icon));
}

namespace {

HHOOK g_button_hook = nullptr;

// Names the buttons of the message box about to be shown in Russian, as our input box has them,
// whatever the system's language; then leaves the hook.
LRESULT CALLBACK russian_buttons(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wparam);
        SetDlgItemTextW(box, IDYES, L"Да");
        SetDlgItemTextW(box, IDNO, L"Нет");
        const HHOOK hook = g_button_hook;
        g_button_hook = nullptr;
        UnhookWindowsHookEx(hook);
        return 0;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

bool Win32Dialogs::yes_no(const std::string& text) {
    return yes_no_titled(text, kAppTitle);
}

bool Win32Dialogs::yes_no_titled(const std::string& text, const std::string& title) {
    // The window's thread is the only one that asks; a hook left by a box that never showed is
    // replaced.
    if (g_button_hook) UnhookWindowsHookEx(g_button_hook);
    g_button_hook = SetWindowsHookExW(WH_CBT, russian_buttons, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner_, widen(text).c_str(), widen(title).c_str(), MB_YESNO);
    if (g_button_hook) {
        UnhookWindowsHookEx(g_button_hook);
        g_button_hook = nullptr;
    }
    return answer == IDYES;
}

std::string Win32Dialogs::input(const std::string& prompt, const std::string& title,
                                const std::string& initial) {
    DialogTemplate dialog(widen(title), 240, 78);
    dialog.item(kStaticClass, kPromptId, SS_LEFT | SS_NOPREFIX, 7, 7, 226, 24, L"");
    dialog.item(kEditClass, kEditId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 34, 226, 14, L"");
    dialog.item(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 129, 56, 50, 15, L"OK");
    dialog.item(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 183, 56, 50, 15, L"Отмена");
    InputState state{widen(prompt), widen(initial)};
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), owner_, input_proc,
                            reinterpret_cast<LPARAM>(&state));
    return state.accepted ? narrow(state.text) : std::string();
}

}  // namespace velkon::win32
