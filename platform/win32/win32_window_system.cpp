#include "platform/win32/win32_window_system.h"

#include <algorithm>
#include <string>

namespace velmora::win32 {

namespace {

using platform::WindowMetric;

constexpr char kWindowClass[] = "VelmoraForm1";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL, which the dialog manager sends
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

int ControlIdToCommand(ControlId id) { return kFirstControlId + static_cast<int>(id); }

std::optional<ControlId> CommandToControlId(int command) {
  const int index = command - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(kForm1Design.controls.size())) return std::nullopt;
  return static_cast<ControlId>(index);
}

constexpr COLORREF kBlack = 0;

// The system's message font at the system's DPI; the stock GUI font when there is none.
HFONT MessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE) {
    if (HFONT font = CreateFontIndirectA(&metrics.lfMessageFont)) return font;
  }
  return nullptr;
}

std::string Narrowed(const std::wstring& wide, BOOL* lossy) {
  const int length = static_cast<int>(wide.size());
  std::string text(WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, lossy),
                   '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), static_cast<int>(text.size()),
                      nullptr, lossy);
  return text;
}

TwipsScale ScreenScale() {
  HDC screen = GetDC(nullptr);
  TwipsScale scale{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
  ReleaseDC(nullptr, screen);
  return scale;
}

}  // namespace

std::string ToProcessCodePage(const std::wstring& path) {
  BOOL lossy = FALSE;  // UTF-8 spells every path and takes no such flag
  const std::string narrow = Narrowed(path, GetACP() == CP_UTF8 ? nullptr : &lossy);
  if (!lossy) return narrow;
  std::wstring shortPath(MAX_PATH, L'\0');
  shortPath.resize(GetShortPathNameW(path.c_str(), shortPath.data(), MAX_PATH));
  return Narrowed(shortPath.empty() ? path : shortPath, nullptr);
}

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance)
    : instance_(instance), scale_(ScreenScale()) {}

Win32WindowSystem::~Win32WindowSystem() {
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (registered_) UnregisterClassA(kWindowClass, instance_);
  // The class has no brush of its own: these are the window's alone.
  DeleteObject(backBrush_);
  DeleteObject(faceBrush_);
  DeleteObject(font_);
}

bool Win32WindowSystem::HighContrast() const {
  HIGHCONTRASTA contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// The design's colours, never mixed with the system's: its grey with the system's text colour
// (white in a dark theme) would be unreadable.
void Win32WindowSystem::ApplyColours() {
  palette_ = HighContrast()
                 ? Palette{GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT),
                           GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)}
                 : Palette{kForm1Design.backColour, kBlack, kForm1Design.backColour, kBlack};
  DeleteObject(backBrush_);
  DeleteObject(faceBrush_);
  backBrush_ = CreateSolidBrush(palette_.back);
  faceBrush_ = CreateSolidBrush(palette_.face);
  if (window_ != nullptr)
    RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool Win32WindowSystem::Show(platform::WindowEvents& events, int showCommand) {
  events_ = &events;
  ApplyColours();
  font_ = MessageFont();

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32WindowSystem::WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(kIconResourceId));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.lpszClassName = kWindowClass;  // no brush: WM_ERASEBKGND paints the palette's
  registered_ = RegisterClassExA(&windowClass) != 0;
  if (!registered_) return false;

  RECT frame{0, 0, *scale_.ToPixelsX(kForm1Design.clientWidth),
             *scale_.ToPixelsY(kForm1Design.clientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const std::string caption(kForm1Design.caption);
  window_ = CreateWindowExA(0, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  CreateControls();
  DragAcceptFiles(window_, TRUE);
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  RestoreFocus();
  return true;
}

void Win32WindowSystem::CreateControls() {
  // Creation order is tab order: the dialog manager walks siblings in Z order.
  std::array<const ControlDesign*, 5> byTabIndex{};
  std::transform(kForm1Design.controls.begin(), kForm1Design.controls.end(), byTabIndex.begin(),
                 [](const ControlDesign& control) { return &control; });
  std::sort(byTabIndex.begin(), byTabIndex.end(),
            [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });

  const auto font =
      reinterpret_cast<WPARAM>(font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  for (const ControlDesign* design : byTabIndex) {
    const bool isButton = design->kind == ControlKind::PushButton;
    DWORD style = WS_CHILD | (design->visible ? WS_VISIBLE : 0);
    if (isButton) {
      // Drawn here: a plain push button paints its face in the system's colour, not the form's.
      style |= WS_TABSTOP | BS_OWNERDRAW;
    } else {
      // File names may hold '&': a label shows its text as it is. A label lying under another
      // paints only what the other leaves free.
      style |= SS_NOPREFIX | WS_CLIPSIBLINGS | (design->centred ? SS_CENTER : SS_LEFT);
    }
    const std::string caption(design->caption);
    HWND control = CreateWindowExA(
        0, isButton ? "BUTTON" : "STATIC", caption.c_str(), style, *scale_.ToPixelsX(design->left),
        *scale_.ToPixelsY(design->top), *scale_.ToPixelsX(design->width),
        *scale_.ToPixelsY(design->height), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdToCommand(design->id))), instance_,
        nullptr);
    SendMessageA(control, WM_SETFONT, font, FALSE);
    controls_.at(static_cast<std::size_t>(design->id)) = control;
    // A label made later lies over the ones before it (Label2's notice over Label1's foot), and
    // labels take no focus, so lifting them above the buttons leaves the tab order as it is.
    if (!isButton)
      SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

LRESULT CALLBACK Win32WindowSystem::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32WindowSystem*>(
        reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->window_ = window;  // its messages arrive before CreateWindowEx returns
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32WindowSystem::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM: DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, backBrush_);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wParam), palette_.labelInk);
      SetBkColor(reinterpret_cast<HDC>(wParam), palette_.back);
      return reinterpret_cast<LRESULT>(backBrush_);
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wParam), palette_.face);
      return reinterpret_cast<LRESULT>(faceBrush_);
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:  // a contrast theme switched on or off
      ApplyColours();
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
      }
      // It focuses the window itself, whose WM_SETFOCUS hands the focus on to the control.
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_SETFOCUS: RestoreFocus(); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      // The session ends and no WM_CLOSE comes: the sequencer is released at once, without the
      // closing slide, as the Stop key releases it.
      if (wParam != FALSE && events_ != nullptr) events_->Media(platform::MediaKey::Stop);
      return 0;
    case WM_DROPFILES: OpenDropped(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_APPCOMMAND:
      if (MediaCommand(GET_APPCOMMAND_LPARAM(lParam))) return TRUE;
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_COMMAND: {
      if (LOWORD(wParam) == IDOK) {  // Enter, through the dialog manager
        ClickFocusedButton();
        return 0;
      }
      const auto control = CommandToControlId(LOWORD(wParam));
      if (control && HIWORD(wParam) == BN_CLICKED && events_ != nullptr) events_->Click(*control);
      return 0;
    }
    case WM_CLOSE: {
      std::int16_t cancel = 0;
      if (events_ != nullptr) events_->Unload(cancel);
      if (cancel == 0) DestroyWindow(window_);
      return 0;
    }
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default: return DefWindowProcA(window_, message, wParam, lParam);
  }
}

// The first file of a drop, as a file chosen in the dialog.
void Win32WindowSystem::OpenDropped(HDROP drop) {
  std::wstring path(DragQueryFileW(drop, 0, nullptr, 0), L'\0');
  DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size() + 1));
  DragFinish(drop);
  if (!path.empty() && events_ != nullptr) events_->OpenFile(ToProcessCodePage(path));
}

// The keyboard's media keys; Pause stops, as there is no pause. False: not a media key.
bool Win32WindowSystem::MediaCommand(int command) {
  using platform::MediaKey;
  MediaKey key;
  switch (command) {
    case APPCOMMAND_MEDIA_PLAY: key = MediaKey::Play; break;
    case APPCOMMAND_MEDIA_PLAY_PAUSE: key = MediaKey::PlayPause; break;
    case APPCOMMAND_MEDIA_STOP:
    case APPCOMMAND_MEDIA_PAUSE: key = MediaKey::Stop; break;
    default: return false;
  }
  if (events_ != nullptr) events_->Media(key);
  return true;
}

// A push button on the form's grey: raised edge, pressed edge while held down, centred caption,
// focus rectangle when it has the keyboard focus.
void Win32WindowSystem::DrawButton(const DRAWITEMSTRUCT& item) const {
  RECT face = item.rcItem;
  FillRect(item.hDC, &face, faceBrush_);
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawEdge(item.hDC, &face, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);

  char caption[256] = {};
  GetWindowTextA(item.hwndItem, caption, sizeof caption);
  RECT text = face;
  if (pressed) OffsetRect(&text, 1, 1);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, palette_.buttonInk);
  DrawTextA(item.hDC, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if ((item.itemState & ODS_FOCUS) != 0) {
    InflateRect(&face, -1, -1);
    DrawFocusRect(item.hDC, &face);
  }
}

// The control that had the focus before the window was deactivated, or the first visible button
// when that one has been hidden since; the window keeps it when no control can take it.
void Win32WindowSystem::RestoreFocus() {
  HWND target = focus_ != nullptr && IsWindowVisible(focus_)
                    ? focus_
                    : GetNextDlgTabItem(window_, nullptr, FALSE);
  if (target != nullptr && IsChild(window_, target) && IsWindowVisible(target)) SetFocus(target);
}

void Win32WindowSystem::ClickFocusedButton() {
  HWND focused = GetFocus();
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i] == focused && kForm1Design.controls[i].kind == ControlKind::PushButton) {
      SendMessageA(focused, BM_CLICK, 0, 0);
    }
  }
}

void Win32WindowSystem::SetCaption(ControlId control, std::string_view text) {
  const std::string caption(text);  // c_str: the control sees the text up to its first NUL
  SetWindowTextA(this->control(control), caption.c_str());
}

void Win32WindowSystem::SetVisible(ControlId control, bool visible) {
  HWND child = this->control(control);
  const bool hadFocus = GetFocus() == child;
  ShowWindow(child, visible ? SW_SHOWNA : SW_HIDE);
  // Keep keyboard use possible: a hidden control hands the focus on (to the window itself when no
  // other control can take it), and a shown button takes it back from the window.
  HWND focus = GetFocus();
  if (hadFocus && !visible) {
    HWND next = GetNextDlgTabItem(window_, child, FALSE);
    SetFocus(next != child ? next : window_);
  } else if (visible && focus == window_ && (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0) {
    SetFocus(child);
  }
}

bool Win32WindowSystem::Frame(RECT& frame) const {
  if (window_ == nullptr) return false;
  if (moved_) frame = *moved_;
  return moved_ || GetWindowRect(window_, &frame) != FALSE;
}

std::optional<float> Win32WindowSystem::GetWindowMetric(WindowMetric metric) {
  RECT frame;
  if (!Frame(frame)) return std::nullopt;
  switch (metric) {
    case WindowMetric::Left: return scale_.ToTwipsX(frame.left);
    case WindowMetric::Top: return scale_.ToTwipsY(frame.top);
    case WindowMetric::Width: return scale_.ToTwipsX(frame.right - frame.left);
    case WindowMetric::Height: return scale_.ToTwipsY(frame.bottom - frame.top);
  }
  return std::nullopt;
}

bool Win32WindowSystem::SetWindowMetric(WindowMetric metric, float twips) {
  RECT frame;
  if (!Frame(frame)) return false;
  // A minimised or maximised window keeps its place and size: the value is refused.
  if (IsIconic(window_) || IsZoomed(window_)) return false;
  const bool horizontal = metric == WindowMetric::Left || metric == WindowMetric::Width;
  const std::optional<int> pixels = horizontal ? scale_.ToPixelsX(twips) : scale_.ToPixelsY(twips);
  if (!pixels) return false;

  int left = frame.left, top = frame.top;
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  switch (metric) {
    case WindowMetric::Left: left = *pixels; break;
    case WindowMetric::Top: top = *pixels; break;
    case WindowMetric::Width: width = *pixels; break;
    case WindowMetric::Height: height = *pixels; break;
  }
  if (width < 0 || height < 0) return false;
  // Kept until the screen is next updated: a window moved and sized in one call, not four.
  moved_ = RECT{left, top, left + width, top + height};
  return true;
}

std::optional<float> Win32WindowSystem::ScreenWidth() {
  const int pixels = GetSystemMetrics(SM_CXSCREEN);
  if (pixels <= 0) return std::nullopt;
  return scale_.ToTwipsX(pixels);
}

platform::InstanceHandle Win32WindowSystem::ModuleInstance() {
  return reinterpret_cast<platform::InstanceHandle>(instance_);
}

bool Win32WindowSystem::UpdateScreen() {
  if (!moved_ || window_ == nullptr) return window_ != nullptr;
  const RECT frame = *moved_;
  moved_.reset();  // from here on the window system says where the window is
  return SetWindowPos(window_, nullptr, frame.left, frame.top, frame.right - frame.left,
                      frame.bottom - frame.top,
                      SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER) != FALSE;
}

void Win32WindowSystem::Dispatch(MSG& message) {
  if (window_ != nullptr && IsDialogMessageA(window_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32WindowSystem::ProcessPendingEvents() {
  UpdateScreen();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {  // leave it for the event loop
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

int Win32WindowSystem::RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return static_cast<int>(message.wParam);
}

void Win32WindowSystem::EndProgram() { ExitProcess(0); }

}  // namespace velmora::win32
