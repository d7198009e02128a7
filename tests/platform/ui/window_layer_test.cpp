#include "platform/ui/window_layer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/sys/single_instance.h"
#include "platform/ui/headless_ui_backend.h"
#include "support/headless_layer_fixture.h"

namespace srd {
namespace {

std::vector<std::uint32_t> g_seen;

LResult RecordingProc(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  g_seen.push_back(message);
  if (message == WM_DESTROY) {
    PostQuitMessage(7);
  }
  return DefWindowProc(window, message, wParam, lParam);
}

LResult DialogEndsOnCommand(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam) {
  (void)lParam;
  if (message == WM_COMMAND) {
    EndDialog(dialog, static_cast<LResult>(LoWord(wParam)) + 100);
    return 1;
  }
  return 0;
}

class WindowLayerTest : public test::HeadlessLayerFixture {
 protected:
  void SetUp() override {
    g_seen.clear();
    HeadlessLayerFixture::SetUp();
    WindowClass cls;
    cls.proc = RecordingProc;
    cls.className = u"TestClass";
    ASSERT_TRUE(RegisterClass(cls));
  }
  Window* MakeWindow(const char16_t* title = u"title") {
    return CreateWindowEx(0, u"TestClass", title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, nullptr, nullptr, nullptr, 0);
  }
  static DialogTemplate OneEditDialog(std::uint32_t style) {
    DialogTemplate t;
    t.style = style;
    ControlTemplate edit;
    edit.id = 50;
    edit.className = u"Edit";
    edit.style = WS_CHILD | WS_VISIBLE;
    t.controls.push_back(edit);
    return t;
  }
};

TEST_F(WindowLayerTest, CreateDeliversCreateBeforeReturningAndCloseDestroysThroughDefaultProcessing) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(g_seen, std::vector<std::uint32_t>{WM_CREATE});
  EXPECT_TRUE(w->visible);
  // The default placement: the handheld's screen below its task bar.
  EXPECT_EQ(w->rect, (Rect{0, 26, 240, 320}));

  ASSERT_TRUE(PostMessage(w, WM_CLOSE, 0, 0));
  Msg msg;
  ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
  DispatchMessage(&msg);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(g_seen, (std::vector<std::uint32_t>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
  ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(WindowLayerTest, QueueKeepsOrderDropsMessagesOfDestroyedWindowsAndQuitsLast) {
  Window* a = MakeWindow(u"a");
  Window* b = MakeWindow(u"b");
  PostMessage(a, WM_COMMAND, 1, 0);
  PostMessage(b, WM_COMMAND, 2, 0);
  PostQuitMessage(3);
  PostMessage(a, WM_COMMAND, 4, 0);
  DestroyWindow(b);  // its queued message goes with it; its destroy handler posts quit 7, the later code
  std::vector<WParam> got;
  Msg msg;
  while (GetMessage(&msg, nullptr, 0, 0) != 0) {
    got.push_back(msg.wParam);
  }
  EXPECT_EQ(got, (std::vector<WParam>{1, 4}));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(PeekMessage(&msg), 0);
}

TEST_F(WindowLayerTest, GetMessageWakesForAPostFromAnotherThreadAndForAWatchedDescriptor) {
  Window* w = MakeWindow();
  std::thread poster([w] { PostMessage(w, WM_COMMAND, 42, 0); });
  Msg msg;
  ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
  poster.join();
  EXPECT_EQ(msg.window, w);
  EXPECT_EQ(msg.wParam, 42u);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  backend_->WatchFd(fds[0], [&] {
    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    PostMessage(w, WM_COMMAND, static_cast<WParam>(c), 0);
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.wParam, static_cast<WParam>('x'));
  backend_->UnwatchFd(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(WindowLayerTest, ModalRunDisablesTheOwnerAndEndsWithEndDialogOrTheOwner) {
  Window* owner = MakeWindow();
  const DialogTemplate t = OneEditDialog(WS_POPUP);
  bool ownerDisabledMeanwhile = false;
  backend_->SetModalHook([&](Window* dialog) {
    ownerDisabledMeanwhile = !owner->enabled;
    EXPECT_TRUE(dialog->visible);
    EXPECT_EQ(dialog->owner, owner);
    PostMessage(dialog, WM_COMMAND, MakeWParam(5, BN_CLICKED), 0);
  });
  EXPECT_EQ(DialogBoxIndirectParam(nullptr, &t, owner, DialogEndsOnCommand, 0), 105);
  EXPECT_TRUE(ownerDisabledMeanwhile);
  EXPECT_TRUE(owner->enabled);

  // Destroying the owner ends the run; the quit its destruction posts is kept for the outer loop.
  backend_->SetModalHook([&](Window*) { PostMessage(owner, WM_CLOSE, 0, 0); });
  EXPECT_EQ(DialogBoxIndirectParam(nullptr, &t, owner, DialogEndsOnCommand, 0), -1);
  EXPECT_FALSE(IsWindow(owner));
  Msg msg;
  EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 7u);
}

// Without windows to show them in another language, the program's texts stay as written.
TEST_F(WindowLayerTest, InterfaceTextsAreAsWrittenOnTheHeadlessBackend) {
  EXPECT_EQ(InterfaceText(u"設定"), u"設定");
  ShutdownWindowLayer();
  EXPECT_EQ(InterfaceText(u"Port %1 を開けません"), u"Port %1 を開けません");
}

TEST_F(WindowLayerTest, DialogMessagesGoToTheDialogAndTextReadsAreBounded) {
  Window* owner = MakeWindow();
  const DialogTemplate t = OneEditDialog(WS_CHILD);
  Window* dialog = CreateDialogIndirectParam(nullptr, &t, owner, DialogEndsOnCommand, 0);
  ASSERT_NE(dialog, nullptr);
  Window* edit = GetDlgItem(dialog, 50);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(GetDlgItem(dialog, 51), nullptr);
  EXPECT_EQ(GetParent(edit), dialog);

  Msg forEdit{edit, WM_CHAR, 'a', 0};
  Msg forOwner{owner, WM_COMMAND, 1, 0};
  EXPECT_TRUE(IsDialogMessage(dialog, &forEdit));
  EXPECT_FALSE(IsDialogMessage(dialog, &forOwner));

  NotifyTextEdited(edit, u"0123456789");
  char16_t buffer[8];
  EXPECT_EQ(GetWindowText(edit, buffer, 5), 4);
  EXPECT_EQ(std::u16string(buffer), u"0123");
  EXPECT_EQ(GetWindowText(edit, buffer, 0), 0);

  DestroyWindow(owner);  // takes the child dialog and its controls along
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(GetDlgItem(dialog, 50), nullptr);
  EXPECT_FALSE(SetWindowText(edit, u"x"));
}

// A lookup that finds nothing reserves the class and title for this process, whose window then answers the
// come-forward requests of later starts.
TEST_F(WindowLayerTest, FindWindowNeedsClassAndTitleAndTheWindowAnswersComeForwardRequests) {
  EXPECT_EQ(FindWindow(u"TestClass", u"solo"), nullptr);
  EXPECT_EQ(FindWindow(u"TestClass", u"solo"), nullptr);  // still ours, not a "running instance"
  Window* w = MakeWindow(u"solo");
  EXPECT_EQ(FindWindow(u"TestClass", u"solo"), w);
  EXPECT_EQ(FindWindow(u"TestClass", u"other"), nullptr);
  EXPECT_EQ(FindWindow(u"OtherClass", u"solo"), nullptr);
  ShowWindow(w, SW_MINIMIZE);
  struct stat info {};
  const std::string socketPath = InstanceDir() + "/TestClass@solo.sock";
  ASSERT_EQ(stat(socketPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);

  // Clients of this user that connect and never write (a dozen once froze the window for a second each) do
  // not keep a later start's request from being answered at once, with the token that start brought.
  std::vector<std::unique_ptr<InstanceConnection>> silent(12);
  ComeForwardOutcome answer = ComeForwardOutcome::NoAnswer;
  std::thread asker([&] {
    std::unique_ptr<InstanceConnection> connection;
    uid_t peer = 0;
    for (auto& client : silent) {
      EXPECT_EQ(InstanceConnection::Connect(InstanceDir(), "TestClass@solo", 5000, &client, &peer),
                InstanceConnection::Result::Connected);
    }
    if (InstanceConnection::Connect(InstanceDir(), "TestClass@solo", 5000, &connection, &peer) ==
        InstanceConnection::Result::Connected) {
      EXPECT_EQ(connection->Pid(), getpid());
      answer = connection->AskToComeForward("token-of-the-second-start", 5000);
    }
  });
  while (w->minimized) {
    backend_->Wait();
  }
  asker.join();
  EXPECT_EQ(answer, ComeForwardOutcome::NoWindow);  // nothing on screen in this backend
  EXPECT_EQ(backend_->LastBroughtToFront(), w);
  EXPECT_EQ(backend_->LastActivationToken(), "token-of-the-second-start");
  silent.clear();
  DestroyWindow(w);
  EXPECT_NE(stat(socketPath.c_str(), &info), 0);
}

}  // namespace
}  // namespace srd
