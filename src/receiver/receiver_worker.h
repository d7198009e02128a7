#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The receiver worker: a thread of its own that runs the receive loop, and the flag word through which the
// interface thread asks it to stop or to change port.

namespace srd {

inline constexpr std::int32_t DEFAULT_PORT = 8102;

inline constexpr std::uint32_t WORKER_STOP = 0x1;
inline constexpr std::uint32_t WORKER_DONE = 0x2;
inline constexpr std::uint32_t WORKER_PORT_CHANGE = 0x10000;
// Set by the worker while its endpoint is not open because the last open failed; cleared once it is open.
// ReceiverState's openFailure and openFailurePort are written before the flag changes.
inline constexpr std::uint32_t WORKER_NOT_LISTENING = 0x20000;

class ReceiverWorker {
 public:
  using Body = int (*)(void* argument);

  ReceiverWorker() = default;
  ReceiverWorker(const ReceiverWorker&) = delete;
  ReceiverWorker& operator=(const ReceiverWorker&) = delete;
  ~ReceiverWorker();

  // Stores body and argument and starts the thread; the handle stays 0 if the thread cannot be created.
  // Always returns 1.
  int Start(Body body, void* argument);
  std::uint32_t TestFlags(std::uint32_t mask);
  std::uint32_t SetFlags(std::uint32_t mask);
  std::uint32_t ClearFlags(std::uint32_t mask);
  // Sets WORKER_STOP and waits, without a time limit, for the thread to end. Returns 0. Not on the worker.
  int Stop();
  // Sets WORKER_DONE; the caller (on the worker thread) then returns from the thread with exitCode.
  int Finish(int exitCode);
  // Waits at most limit for any flag of mask to be set; returns flags AND mask. The lock is held only while
  // the word is read, never across the wait itself.
  std::uint32_t WaitFlags(std::uint32_t mask, std::chrono::milliseconds limit);

  // Non-zero while a thread is running or has not yet been joined.
  std::uintptr_t ThreadHandle() const;
  std::uint32_t ThreadId() const;

 private:
  static void ThreadEntry(ReceiverWorker* self);

  std::thread thread_;          // the thread handle: not joinable when 0
  std::uint32_t threadId_ = 0;  // the identifier the system gave the thread
  std::uint32_t flags_ = 0;     // guarded by lock_
  Body body_ = nullptr;
  void* argument_ = nullptr;
  mutable std::mutex lock_;
  std::condition_variable flagsChanged_;  // signalled by SetFlags
};

// The one application state record, created by the shell before the panel and the worker.
struct ReceiverState {
  // Written only by the interface thread, before it sets WORKER_PORT_CHANGE; read by the worker after it has
  // seen that flag. Atomic (relaxed) so the unlocked read the flag protocol allows is well defined.
  std::atomic<std::int32_t> port{DEFAULT_PORT};
  // Empty until StartReceiver runs. The worker lives as long as the state; the shell stops it first.
  std::unique_ptr<ReceiverWorker> worker;
  // The last failed open, for the interface thread to show while WORKER_NOT_LISTENING is set: the Windows
  // Sockets 2 code and the port. Written only by the worker, before it sets that flag.
  std::atomic<std::int32_t> openFailure{0};
  std::atomic<std::int32_t> openFailurePort{0};
  // Called on the worker thread after WORKER_NOT_LISTENING was set or cleared, so the interface thread can
  // look again (it must only post). Set before StartReceiver and left alone while the worker runs.
  std::function<void()> listeningChanged;
  // Called on the worker thread when the machine's IPv4 addresses changed (the panel shows them). The same
  // rules as listeningChanged.
  std::function<void()> addressesChanged;
};

// Creates the ReceiverWorker, stores it in state.worker before the thread exists, and starts it on
// ReceiverThreadBody. Returns 1, or 0 if the worker could not be created.
int StartReceiver(ReceiverState& state);
// The worker's body: ReceiveLoop, then Finish(0).
int ReceiverThreadBody(void* state);
// Receives datagrams on state.port until WORKER_STOP, decoding each into key events.
void ReceiveLoop(ReceiverState& state);

}  // namespace srd
