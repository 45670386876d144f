// The write-everything loop against pipes, whose writes can be cut short and
// interrupted at chosen points.
#include "platform/write_all_posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vornask {
namespace {

constexpr int kPipeBytes = 4096;

struct Pipe {
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    read_end = ends[0];
    write_end = ends[1];
    ::fcntl(write_end, F_SETPIPE_SZ, kPipeBytes);
  }
  ~Pipe() {
    ::close(read_end);
    CloseWriteEnd();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  // The reader then sees the end once it has read what was written.
  void CloseWriteEnd() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }
  std::string ReadExactly(std::size_t size) const {
    std::string text(size, '\0');
    std::size_t done = 0;
    while (done < size) {
      const ssize_t got = ::read(read_end, text.data() + done, size - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    text.resize(done);
    return text;
  }
  int read_end;
  int write_end;
};

// Bytes that differ along the text, so that a piece written twice or left
// out shows.
std::string Counting(std::size_t size, std::size_t from) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('!' + (from + i) % 89);
  return text;
}

// Three parts that a pipe of kPipeBytes takes only in pieces, each piece
// ending inside a part.
struct Text {
  std::string first = Counting(3000, 0);
  std::string second = Counting(3000, 3000);
  std::string third = Counting(3000, 6000);
  std::vector<iovec> Parts() {
    return {{first.data(), first.size()}, {second.data(), second.size()}, {third.data(), third.size()}};
  }
  std::string Whole() const { return first + second + third; }
};

// The writer on its own thread, so that the test can see it sleep and
// interrupt it.
struct Writer {
  std::atomic<pid_t> id{0};
  std::atomic<bool> done{false};
  std::thread thread;
};

// Blocked in the kernel: a writer that sleeps is waiting for room in the
// pipe. A writer that gave up early has nothing left to wait for.
void WaitUntilSleeping(const Writer& writer) {
  const std::string path = "/proc/self/task/" + std::to_string(writer.id) + "/stat";
  while (!writer.done) {
    std::ifstream stat(path);
    std::string line;
    std::getline(stat, line);
    const std::size_t end_of_name = line.rfind(')');
    if (end_of_name != std::string::npos && line.size() > end_of_name + 2 && line[end_of_name + 2] == 'S') return;
    std::this_thread::yield();
  }
}

std::atomic<int> signals_handled{0};
void CountSignal(int) { ++signals_handled; }

// Interrupts the writer once and waits until it sleeps in its next writev.
void Interrupt(Writer& writer) {
  const int before = signals_handled;
  ::pthread_kill(writer.thread.native_handle(), SIGUSR1);
  while (signals_handled == before && !writer.done) std::this_thread::yield();
  WaitUntilSleeping(writer);
}

TEST(WriteAllPosix, GoesOnInsideTheCutPartAndThroughInterruptedCalls) {
  // No SA_RESTART: the signal ends the writer's writev, with what it wrote
  // so far or with EINTR when it wrote nothing.
  struct sigaction interrupt {};
  interrupt.sa_handler = CountSignal;
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGUSR1, &interrupt, &before), 0);

  Pipe pipe;
  Text text;
  std::vector<iovec> parts = text.Parts();
  Writer writer;
  WriteAllResult result;
  writer.thread = std::thread([&] {
    writer.id = static_cast<pid_t>(::syscall(SYS_gettid));
    result = WriteAll(pipe.write_end, parts);
    pipe.CloseWriteEnd();
    writer.done = true;
  });
  while (writer.id == 0) std::this_thread::yield();

  // Full after kPipeBytes: the signal cuts this writev short inside the
  // second part. The next one finds the pipe still full and the signal
  // interrupts it before it wrote anything.
  WaitUntilSleeping(writer);
  Interrupt(writer);
  Interrupt(writer);
  const std::string landed = pipe.ReadExactly(text.Whole().size());
  writer.thread.join();
  ::sigaction(SIGUSR1, &before, nullptr);

  EXPECT_EQ(result.error, 0);
  EXPECT_EQ(result.written, text.Whole().size());
  EXPECT_EQ(landed, text.Whole());
}

TEST(WriteAllPosix, StopsAtTheFirstFailureAndTellsWhatLanded) {
  Pipe pipe;
  ASSERT_EQ(::fcntl(pipe.write_end, F_SETFL, O_NONBLOCK), 0);
  Text text;
  std::vector<iovec> parts = text.Parts();

  const WriteAllResult result = WriteAll(pipe.write_end, parts);

  EXPECT_EQ(result.error, EAGAIN);
  EXPECT_EQ(result.written, static_cast<std::size_t>(kPipeBytes));
  EXPECT_EQ(pipe.ReadExactly(kPipeBytes), text.Whole().substr(0, kPipeBytes));
}

}  // namespace
}  // namespace vornask
