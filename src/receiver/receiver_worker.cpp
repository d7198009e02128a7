#include "receiver/receiver_worker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "diag/log.h"
#include "net/datagram_endpoint.h"
#include "net/local_addresses.h"
#include "net/port_refusal.h"
#include "net/socket_error.h"
#include "platform/keys/key_pause.h"
#include "platform/keys/key_sink.h"
#include "platform/sys/debug_output.h"
#include "platform/sys/signals.h"
#include "receiver/key_commands.h"
#include "receiver/sealed_receive.h"
#include "seal/paired_receiver.h"

namespace srd {

namespace {

// One pass waits at most this long; it bounds the reaction to a stop request and to a port change.
constexpr std::int32_t kPassWaitMs = 100;
// While no endpoint is open, the open on the current port is tried again this often.
constexpr std::chrono::milliseconds kReopenInterval{2000};
// The largest datagram the loop accepts; the area holds one more byte for the terminator.
constexpr std::int32_t kReceiveAreaSize = 1024;
// At most this many datagrams that wait on the old port are still typed before a move to a new one.
constexpr int kQueuedTakenBeforeMove = 64;
// The key sink's waits between key events look at the stop flag at least this often.
constexpr std::chrono::microseconds kPauseSlice{1000};

// The key sink spaces a long datagram's events out over a time that may exceed a pass; its waits end as soon
// as a stop is asked, so the stop is still seen within one pass.
class StopAwarePause final : public KeyPause {
 public:
  explicit StopAwarePause(ReceiverWorker& worker) : worker_(worker) {}
  bool Pause(std::chrono::nanoseconds duration) override {
    while (duration.count() > 0) {
      if (worker_.TestFlags(WORKER_STOP) != 0) {
        return false;
      }
      const std::chrono::nanoseconds slice = std::min<std::chrono::nanoseconds>(duration, kPauseSlice);
      std::this_thread::sleep_for(slice);
      duration -= slice;
    }
    return worker_.TestFlags(WORKER_STOP) == 0;
  }

 private:
  ReceiverWorker& worker_;
};

// Says once, in words, why the port cannot be opened; the diagnostic line of each try says it in codes.
void SayNotListening(std::int32_t port, std::int32_t code) {
  char line[160];
  std::snprintf(line, sizeof line, "strokerelayd: not listening on UDP port %d: %s\n", static_cast<int>(port),
                PortRefusalReason(ClassifyPortRefusal(code, port)));
  std::u16string wide(line, line + std::strlen(line));
  DebugOutput(wide.c_str());
}

// Records whether the endpoint is open and tells the interface thread when that changed: a new failure
// (another port, or another reason) is said once on standard error too.
void RecordListening(ReceiverState& state, bool open, std::int32_t port, std::int32_t code) {
  ReceiverWorker& worker = *state.worker;
  const bool wasFailing = worker.TestFlags(WORKER_NOT_LISTENING) != 0;
  if (open) {
    if (!wasFailing) {
      return;
    }
    worker.ClearFlags(WORKER_NOT_LISTENING);
  } else {
    if (wasFailing && state.openFailure.load(std::memory_order_relaxed) == code &&
        state.openFailurePort.load(std::memory_order_relaxed) == port) {
      return;  // the same failure again: said already
    }
    SayNotListening(port, code);
    state.openFailure.store(code, std::memory_order_relaxed);
    state.openFailurePort.store(port, std::memory_order_relaxed);
    worker.SetFlags(WORKER_NOT_LISTENING);
  }
  if (state.listeningChanged) {
    state.listeningChanged();
  }
}

// Opens the endpoint on the port read now; on failure schedules the next try.
void OpenOnCurrentPort(DatagramEndpoint& endpoint, ReceiverState& state,
                       std::chrono::steady_clock::time_point& nextOpen) {
  const std::int32_t port = state.port.load(std::memory_order_relaxed);
  if (endpoint.Open(nullptr, port) == -1) {
    RecordListening(state, false, port, LastSocketError());
    nextOpen = std::chrono::steady_clock::now() + kReopenInterval;
  } else {
    RecordListening(state, true, port, 0);
  }
}

// Receives one datagram and types what it says (paired: what it says sealed); a failed receive was reported
// and injects nothing.
void ReceiveOne(DatagramEndpoint& endpoint, char (&area)[kReceiveAreaSize + 1], SocketAddress* source,
                SealedReceive* sealed) {
  const int n = endpoint.Receive(area, kReceiveAreaSize, source);
  if (n == -1) {
    return;
  }
  area[n] = '\0';
  if (sealed != nullptr) {
    sealed->Take(area, n, *source);
  } else {
    DecodeKeyCommands(area);
  }
  KeySinkFlush();
}

// Before a move to another port: the datagrams already waiting on the old one were sent to be typed, so they
// are, but only so many that a sender who never pauses cannot hold the move up, and none once a stop is
// asked.
void TakeQueued(ReceiverWorker& worker, DatagramEndpoint& endpoint, char (&area)[kReceiveAreaSize + 1],
                SocketAddress* source, SealedReceive* sealed) {
  for (int taken = 0;
       taken < kQueuedTakenBeforeMove && endpoint.handle != -1 && worker.TestFlags(WORKER_STOP) == 0;
       ++taken) {
    const int ready = endpoint.Wait(WAIT_READ, 0);
    if (ready == -1 || ready == 0) {
      return;
    }
    ReceiveOne(endpoint, area, source, sealed);
  }
}

}  // namespace

ReceiverWorker::~ReceiverWorker() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      Stop();
    }
  }
}

int ReceiverWorker::Start(Body body, void* argument) {
  if (thread_.joinable()) {
    return 1;  // one thread per worker: replacing a running one would lose it
  }
  body_ = body;
  argument_ = argument;
  // The interface thread turns the stop signals into a close request. The worker inherits them blocked, so
  // they never land there and its waits never end early with EINTR.
  const StopSignalsBlockedScope blocked;
  try {
    thread_ = std::thread(&ReceiverWorker::ThreadEntry, this);
    const std::size_t id = std::hash<std::thread::id>{}(thread_.get_id());
    threadId_ = static_cast<std::uint32_t>(id != 0 ? id : 1);
  } catch (const std::system_error&) {
    // The thread could not be created: the handle stays 0 and Stop returns at once.
  }
  return 1;
}

std::uint32_t ReceiverWorker::TestFlags(std::uint32_t mask) {
  std::lock_guard lock(lock_);
  return flags_ & mask;
}

std::uint32_t ReceiverWorker::SetFlags(std::uint32_t mask) {
  std::uint32_t flags = 0;
  {
    std::lock_guard lock(lock_);
    flags_ |= mask;
    flags = flags_;
  }
  flagsChanged_.notify_all();
  return flags;
}

std::uint32_t ReceiverWorker::ClearFlags(std::uint32_t mask) {
  std::lock_guard lock(lock_);
  flags_ &= ~mask;
  return flags_;
}

std::uint32_t ReceiverWorker::WaitFlags(std::uint32_t mask, std::chrono::milliseconds limit) {
  std::unique_lock lock(lock_);
  flagsChanged_.wait_for(lock, limit, [&] { return (flags_ & mask) != 0; });
  return flags_ & mask;
}

int ReceiverWorker::Stop() {
  SetFlags(WORKER_STOP);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
  }
  return 0;
}

int ReceiverWorker::Finish(int exitCode) {
  SetFlags(WORKER_DONE);
  return exitCode;
}

std::uintptr_t ReceiverWorker::ThreadHandle() const {
  if (!thread_.joinable()) {
    return 0;
  }
  const std::size_t id = std::hash<std::thread::id>{}(thread_.get_id());
  return id != 0 ? id : 1;
}

std::uint32_t ReceiverWorker::ThreadId() const {
  return threadId_;
}

void ReceiverWorker::ThreadEntry(ReceiverWorker* self) {
  if (self->body_ != nullptr) {
    self->body_(self->argument_);
  }
  self->SetFlags(WORKER_DONE);
}

int StartReceiver(ReceiverState& state) {
  state.worker.reset(new (std::nothrow) ReceiverWorker());
  if (!state.worker) {
    return 0;
  }
  state.worker->Start(&ReceiverThreadBody, &state);
  return 1;
}

int ReceiverThreadBody(void* argument) {
  ReceiverState& state = *static_cast<ReceiverState*>(argument);
  ReceiveLoop(state);
  return state.worker->Finish(0);
}

void ReceiveLoop(ReceiverState& state) {
  if (!state.worker) {
    return;  // without a worker there is no stop flag to end the loop
  }
  ReceiverWorker& worker = *state.worker;
  StopAwarePause pause(worker);
  InstallKeyPause(&pause);

  SocketsStartup();
  DatagramEndpoint endpoint;
  char area[kReceiveAreaSize + 1];
  SocketAddress source;  // filled by every receive; examined only to name a refused sender
  std::optional<SealedReceive> sealed;
  if (seal::PairedReceiver* paired = InstalledPairedReceiver()) {
    sealed.emplace(*paired);
  }
  SealedReceive* const sealedOrNull = sealed ? &*sealed : nullptr;
  std::chrono::steady_clock::time_point nextOpen{};
  OpenOnCurrentPort(endpoint, state, nextOpen);
  // Only asked about when someone shows the addresses: a receiver without a window needs no route socket.
  std::unique_ptr<AddressWatch> addresses;
  if (state.addressesChanged) {
    addresses.reset(new (std::nothrow) AddressWatch());
  }

  while (worker.TestFlags(WORKER_STOP) == 0) {
    if (endpoint.handle != -1) {
      const int ready = endpoint.Wait(WAIT_READ, kPassWaitMs);
      if (ready != -1 && ready != 0) {
        ReceiveOne(endpoint, area, &source, sealedOrNull);
      }
    } else {
      // No endpoint (the port could not be bound): a wait would fail at once and the loop would spin, so
      // pass the time on the flags instead. A stop or port change cuts the pass short.
      worker.WaitFlags(WORKER_STOP | WORKER_PORT_CHANGE, std::chrono::milliseconds(kPassWaitMs));
    }
    // The diagnostic output may have refused lines while nobody read it; say how many once it takes them.
    LogReportDropped();
    if (addresses && addresses->Changed()) {
      state.addressesChanged();
    }
    if (sealed) {
      sealed->Pass();
    }

    // Every pass looks at the port: a sender that never pauses must not pin the old one.
    if (worker.TestFlags(WORKER_PORT_CHANGE) != 0) {
      worker.ClearFlags(WORKER_PORT_CHANGE);
      TakeQueued(worker, endpoint, area, &source, sealedOrNull);
      endpoint.Close();
      LogTrace("reset port=%d", state.port.load(std::memory_order_relaxed));
      OpenOnCurrentPort(endpoint, state, nextOpen);
    } else if (endpoint.handle == -1 && std::chrono::steady_clock::now() >= nextOpen) {
      OpenOnCurrentPort(endpoint, state, nextOpen);
    }
  }

  InstallKeyPause(nullptr);
  endpoint.Close();
  if (sealed) {
    sealed->End();
  }
  SocketsCleanup();
}

}  // namespace srd
