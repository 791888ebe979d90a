#include "platform/linux/exit_connector.h"

#include <linux/cn_proc.h>
#include <linux/connector.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/linux/clock.h"
#include "platform/linux/threads.h"

namespace {

struct ExitEvent {
  DWORD pid;
  int status;
  std::uint64_t monotonicNanoseconds;
};

// The most recent exits of the whole machine. A waiter looks its process up
// as soon as the process has ended, and the handle keeps what it found, so
// a few thousand recent events are plenty.
constexpr std::size_t eventCapacity = 4096;

std::mutex connectorLock;  // guards the socket's reading and the events
ExitEvent events[eventCapacity];
std::size_t storedEvents = 0;
std::size_t nextEvent = 0;
int connectorSocket = -1;
std::atomic<bool> running{false};
std::once_flag startOnce;

void StoreEvent(const proc_event& event) {
  if (event.what != proc_event::PROC_EVENT_EXIT) return;
  // Only the thread group leader's exit ends the process as a whole.
  if (event.event_data.exit.process_pid != event.event_data.exit.process_tgid) return;
  events[nextEvent] =
      ExitEvent{static_cast<DWORD>(event.event_data.exit.process_pid),
                static_cast<int>(event.event_data.exit.exit_code), event.timestamp_ns};
  nextEvent = (nextEvent + 1) % eventCapacity;
  if (storedEvents < eventCapacity) ++storedEvents;
}

// Calls handle for each process event in one datagram. The payload sits at
// an offset that is not 8-aligned, so each event is copied out first.
template <typename Handler>
void ForEachEvent(const char* datagram, std::size_t length, Handler handle) {
  const nlmsghdr* header = reinterpret_cast<const nlmsghdr*>(datagram);
  int remaining = static_cast<int>(length);
  for (; NLMSG_OK(header, remaining); header = NLMSG_NEXT(header, remaining)) {
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(cn_msg))) continue;
    const cn_msg* message = static_cast<const cn_msg*>(NLMSG_DATA(header));
    if (message->id.idx != CN_IDX_PROC || message->id.val != CN_VAL_PROC) continue;
    std::size_t available = header->nlmsg_len - NLMSG_LENGTH(sizeof(cn_msg));
    if (message->len < available) available = message->len;
    proc_event event;
    std::memset(&event, 0, sizeof event);
    std::memcpy(&event, message->data, available < sizeof event ? available : sizeof event);
    handle(*message, event);
  }
}

// Reads every datagram waiting, without blocking; call with the lock held.
void DrainSocket(void) {
  alignas(nlmsghdr) char datagram[16384];
  for (;;) {
    ssize_t length = recv(connectorSocket, datagram, sizeof datagram, MSG_DONTWAIT);
    if (length < 0) {
      if (errno == EINTR || errno == ENOBUFS) continue;  // ENOBUFS: events were lost
      return;
    }
    ForEachEvent(datagram, static_cast<std::size_t>(length),
                 [](const cn_msg&, const proc_event& event) { StoreEvent(event); });
  }
}

void* ListenForExits(void*) {
  for (;;) {
    // Wait outside the lock, read inside it: a waiter that takes the lock
    // finds each exit either still on the socket or already stored.
    pollfd ready{connectorSocket, POLLIN, 0};
    if (poll(&ready, 1, -1) < 0) continue;
    std::lock_guard<std::mutex> hold(connectorLock);
    DrainSocket();
  }
  return nullptr;
}

// The connector reports PIDs as the initial namespace numbers them.
bool InInitialPidNamespace(void) {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return false;
  char line[256];
  bool initial = false;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "NSpid:", 6) != 0) continue;
    unsigned first, second;
    initial = std::sscanf(line + 6, "%u %u", &first, &second) == 1;
    break;
  }
  std::fclose(status);
  return initial;
}

bool Subscribe(int socket, std::uint32_t sequence) {
  nlmsghdr header{};
  cn_msg message{};
  std::uint32_t operation = PROC_CN_MCAST_LISTEN;
  alignas(nlmsghdr) char request[sizeof header + sizeof message + sizeof operation];
  header.nlmsg_len = sizeof request;
  header.nlmsg_type = NLMSG_DONE;
  message.id.idx = CN_IDX_PROC;
  message.id.val = CN_VAL_PROC;
  message.seq = sequence;
  message.ack = sequence;
  message.len = sizeof operation;
  std::memcpy(request, &header, sizeof header);
  std::memcpy(request + sizeof header, &message, sizeof message);
  std::memcpy(request + sizeof header + sizeof message, &operation, sizeof operation);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  return sendto(socket, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                sizeof kernel) == static_cast<ssize_t>(sizeof request);
}

// The kernel answers a subscription with an acknowledgement: ack is the
// request's ack plus one (its seq is the kernel's own), and an error code
// (EPERM without privileges).
bool AwaitAcknowledgement(int socket, std::uint32_t sequence) {
  std::uint64_t deadline = MonotonicNanoseconds() + 2000000000ull;
  alignas(nlmsghdr) char datagram[16384];
  for (;;) {
    std::uint64_t now = MonotonicNanoseconds();
    if (now >= deadline) return false;
    pollfd ready{socket, POLLIN, 0};
    int waited = poll(&ready, 1, static_cast<int>((deadline - now) / 1000000 + 1));
    if (waited < 0 && errno == EINTR) continue;
    if (waited <= 0) return false;
    ssize_t length = recv(socket, datagram, sizeof datagram, MSG_DONTWAIT);
    if (length < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ENOBUFS) continue;
      return false;
    }
    int answer = -1;
    ForEachEvent(datagram, static_cast<std::size_t>(length),
                 [&](const cn_msg& message, const proc_event& event) {
                   if (event.what == proc_event::PROC_EVENT_NONE && message.ack == sequence + 1)
                     answer = static_cast<int>(event.event_data.ack.err);
                   else
                     StoreEvent(event);
                 });
    if (answer >= 0) return answer == 0;
  }
}

bool Start(void) {
  if (!InInitialPidNamespace()) return false;
  int socket = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_CONNECTOR);
  if (socket < 0) return false;
  // Bursts of exits must not overflow the queue between two reads.
  int bufferSize = 4 << 20;
  if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize, sizeof bufferSize) != 0)
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = CN_IDX_PROC;
  address.nl_pid = 0;  // the kernel picks a port
  std::uint32_t sequence =
      static_cast<std::uint32_t>(getpid()) ^ static_cast<std::uint32_t>(MonotonicNanoseconds());
  std::lock_guard<std::mutex> hold(connectorLock);
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !Subscribe(socket, sequence) || !AwaitAcknowledgement(socket, sequence)) {
    close(socket);
    return false;
  }
  connectorSocket = socket;
  if (!StartBackendThread(ListenForExits, nullptr)) {
    connectorSocket = -1;
    close(socket);
    return false;
  }
  return true;
}

}  // namespace

bool StartExitConnector(void) {
  std::call_once(startOnce, [] { running.store(Start()); });
  return running.load();
}

bool ExitConnectorRunning(void) { return running.load(); }

bool FindConnectorExit(DWORD pid, std::uint64_t startNanoseconds, int* status,
                       std::uint64_t* exitMonotonicNanoseconds) {
  if (!running.load()) return false;
  // Start times count from boot, event times from boot less any suspend.
  std::uint64_t suspended = SuspendedNanoseconds();
  std::uint64_t start = startNanoseconds > suspended ? startNanoseconds - suspended : 0;
  std::lock_guard<std::mutex> hold(connectorLock);
  DrainSocket();
  // A PID is reused only after its holder was reaped, which is after its
  // exit event: the first exit of the PID since the start is this process's.
  const ExitEvent* first = nullptr;
  for (std::size_t i = 0; i < storedEvents; ++i) {
    const ExitEvent& event = events[i];
    if (event.pid != pid || event.monotonicNanoseconds < start) continue;
    if (first == nullptr || event.monotonicNanoseconds < first->monotonicNanoseconds)
      first = &event;
  }
  if (first == nullptr) return false;
  *status = first->status;
  *exitMonotonicNanoseconds = first->monotonicNanoseconds;
  return true;
}
