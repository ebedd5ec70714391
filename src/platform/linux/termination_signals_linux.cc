#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/termination_signals.h"

namespace quorbin::platform {
namespace {

int pipe_ends[2] = {-1, -1};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] auto written = write(pipe_ends[1], &byte, 1);
  errno = saved;
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int TerminationRequestDescriptor() {
  if (pipe_ends[0] >= 0) return pipe_ends[0];
  if (pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  InstallHandlers();
  return pipe_ends[0];
}

void ReclaimTerminationSignals() {
  if (pipe_ends[0] >= 0) InstallHandlers();
}

void AcknowledgeTerminationRequest() {
  char buffer[64];
  while (read(pipe_ends[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace quorbin::platform
