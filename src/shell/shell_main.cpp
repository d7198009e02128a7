#include "shell/shell_main.h"

#include <memory>

#include "net/datagram_endpoint.h"
#include "receiver/receiver_worker.h"
#include "shell/main_panel.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"

namespace srd {
namespace {

constexpr std::uint32_t MENU_BAR_RECORD_SIZE = 36;

std::function<void()>& OpenedHook() {
  static std::function<void()> hook;
  return hook;
}

void ResetActivationRecord() {
  ShellActivationInfo& record = Shell().activation;
  record = ShellActivationInfo{};
  record.size = sizeof record;  // 12
}

std::int32_t& StartPort() {
  static std::int32_t port = DEFAULT_PORT;
  return port;
}

}  // namespace

void ConnectWorkerReports(ReceiverState& state, Window* mainWindow) {
  // The worker only posts; the main window's handler looks at the state on this thread.
  state.listeningChanged = [mainWindow] { PostMessage(mainWindow, WM_LISTENING_CHANGED, 0, 0); };
  state.addressesChanged = [mainWindow] { PostMessage(mainWindow, WM_ADDRESSES_CHANGED, 0, 0); };
}

void SetShellStartPort(std::int32_t port) {
  StartPort() = port;
}

void SetShellOpenedHook(std::function<void()> hook) {
  OpenedHook() = std::move(hook);
}

LResult MainWindowProc(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_CREATE: {
      MenuBarInfo bar{};
      bar.size = MENU_BAR_RECORD_SIZE;
      bar.parent = window;
      bar.flags = SHCMBF_FROM_RESOURCE;
      bar.menuId = IDR_MAIN_MENU;
      bar.resourceModule = Shell().moduleInstance;
      bar.bitmapId = 0;
      bar.bitmapCount = 0;
      Shell().menuBar = CreateMenuBar(&bar) ? bar.menuBar : nullptr;
      ResetActivationRecord();
      return 0;
    }
    case WM_DESTROY:
      DestroyWindow(Shell().menuBar);
      DestroyWindow(Shell().mainPanel);
      PostQuitMessage(0);
      return 0;
    case WM_ACTIVATE:
      ShellHandleActivate(window, wParam, lParam, &Shell().activation, 0);
      return 0;
    case WM_PAINT: {
      PaintRecord paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SETTINGCHANGE:
      ShellHandleSettingChange(window, wParam, lParam, &Shell().activation);
      return 0;
    case WM_COMMAND:
      return MainWindowCommand(window, message, wParam, lParam);
    case WM_LISTENING_CHANGED:
      RefreshListeningLine(Shell().mainPanel);
      return 0;
    case WM_ADDRESSES_CHANGED:
      RefreshAddressLine(Shell().mainPanel);
      return 0;
    default:  // close among them: the default processing destroys the window
      return DefWindowProc(window, message, wParam, lParam);
  }
}

int OpenMainWindow(Instance instance, int showCommand) {
  Shell().moduleInstance = instance;
  if (Window* running = FindWindow(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE)) {
    SetForegroundWindow(WithOwnedPopups(running));
    return 0;
  }
  WindowClass windowClass;
  windowClass.style = MAIN_CLASS_STYLE;
  windowClass.proc = MainWindowProc;
  windowClass.instance = instance;
  windowClass.icon = LoadIcon(instance, IDI_STROKERELAYD);
  windowClass.background = GetStockObject(WHITE_BRUSH);
  windowClass.className = MAIN_WINDOW_CLASS;
  RegisterClass(windowClass);

  Window* window = CreateWindowEx(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, MAIN_WINDOW_STYLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, 0);
  if (window == nullptr) {
    return 0;
  }
  if (Shell().menuBar != nullptr) {
    Rect rect;
    GetWindowRect(window, &rect);
    // The edges themselves are passed as width and height, as the handheld's start-up always did: with the
    // window at the screen's left edge this shortens it by the bar's height.
    MoveWindow(window, rect.left, rect.top, rect.right, rect.bottom - MENU_BAR_HEIGHT, false);
  }
  Shell().mainWindow = window;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return 1;
}

std::int32_t ShellMain(Instance instance, Instance previousInstance, const char16_t* commandLine,
                       int showCommand) {
  (void)previousInstance;
  (void)commandLine;
  if (OpenMainWindow(instance, showCommand) == 0) {
    return 0;
  }
  if (OpenedHook()) {
    OpenedHook()();
  }
  auto state = std::make_unique<ReceiverState>();
  Shell().state = state.get();
  SocketsStartup();
  state->port.store(StartPort(), std::memory_order_relaxed);
  state->worker.reset();
  ConnectWorkerReports(*state, Shell().mainWindow);

  const DialogTemplate* panelTemplate = instance != nullptr ? instance->FindDialog(IDD_MAIN_PANEL) : nullptr;
  Shell().mainPanel = CreateDialogIndirectParam(instance, panelTemplate, Shell().mainWindow, MainPanel, 0);
  ShowWindow(Shell().mainPanel, showCommand);
  const AcceleratorTable* accelerators = LoadAccelerators(instance, IDR_ACCELERATORS);
  StartReceiver(*state);

  Msg msg;
  int exitCode = 0;
  for (;;) {
    const int got = GetMessage(&msg, nullptr, 0, 0);
    if (got <= 0) {
      exitCode = got == 0 ? static_cast<int>(msg.wParam) : 0;
      break;
    }
    if (IsDialogMessage(Shell().mainPanel, &msg)) {
      continue;
    }
    if (TranslateAccelerator(msg.window, accelerators, &msg) != 0) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }

  if (state->worker) {
    state->worker->Stop();
  }
  SocketsCleanup();
  Shell().state = nullptr;
  state.reset();
  Shell().mainWindow = nullptr;
  Shell().menuBar = nullptr;
  Shell().mainPanel = nullptr;
  return exitCode;
}

}  // namespace srd
