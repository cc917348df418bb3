// The built zarnik-sim program itself: its first line names the port, it
// serves, and it ends with status 0 on SIGTERM and SIGINT.

#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A child process with its stdout on a pipe; killed and reaped if the test
// leaves it running.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) : args_(std::move(args)) {
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> argv{program_.data()};
    for (std::string& arg : args_) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    stdout_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The first line of stdout, waiting at most 20 s for it.
  std::string FirstLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd ready{stdout_, POLLIN, 0};
      if (poll(&ready, 1, 200) <= 0) continue;
      char c = 0;
      if (read(stdout_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  // Exit status, or -1 when the process did not end within 20 s.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(20000);
    }
    return -1;
  }

  pid_t pid() const { return pid_; }

 private:
  std::string program_ = ZARNIK_SIM_PROGRAM;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  int stdout_ = -1;
  bool reaped_ = false;
};

}  // namespace

TEST(SimProcess, ServesOnTheAnnouncedPortAndStopsCleanlyOnSignals) {
  for (const int signal_number : {SIGTERM, SIGINT}) {
    SimProcess sim({"--port", "0", "--shop", "shop01:secret:1001", "--auth-host", "auth.test"});
    ASSERT_GT(sim.pid(), 0);
    const std::string line = sim.FirstLine();
    ASSERT_EQ(line.rfind("listening ", 0), 0u) << line;
    const int port = std::atoi(line.c_str() + 10);
    ASSERT_GT(port, 0) << line;

    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10, 0);
    const auto reply = client.Get("http://auth.test/shop_login.php?name=shop01&pwd=secret");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body.find(R"({"body":{"login_status":"success")"), 0u) << reply->body;

    ASSERT_EQ(kill(sim.pid(), signal_number), 0);
    EXPECT_EQ(sim.Wait(), 0) << "signal " << signal_number;
  }
}

TEST(SimProcess, RunsItsScriptAndRefusesBadStarts) {
  const std::string script = testing::TempDir() + "zarnik_sim_script.txt";
  {
    std::ofstream file(script);
    file << "# demo\n0 add web ORD-1001\n0 fault order garbage 1\n";
  }
  SimProcess sim({"--shop", "shop01:secret:1001", "--script", script});
  const std::string line = sim.FirstLine();
  const int port = std::atoi(line.c_str() + (line.size() > 10 ? 10 : line.size()));
  ASSERT_GT(port, 0) << line;
  httplib::Client client("127.0.0.1", port);
  std::string pending;
  for (int attempt = 0; attempt < 100 && pending.find("ORD-1001") == std::string::npos; ++attempt) {
    const auto state = client.Get("/state", {{"Host", "sim.control"}});
    if (state) pending = state->body;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(pending.find("ORD-1001"), std::string::npos) << pending;
  EXPECT_NE(pending.find("\"garbage\""), std::string::npos) << pending;
  kill(sim.pid(), SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);

  const struct {
    std::vector<std::string> args;
    int status;
  } bad[] = {
      {{"--port", "x"}, 2},
      {{"--script", "/nonexistent/script.txt"}, 2},
      {{"--shop", "a:b:1", "--shop", "a:c:2"}, 2},
      {{"--help"}, 0},
  };
  for (const auto& row : bad) {
    SimProcess refused(row.args);
    EXPECT_EQ(refused.Wait(), row.status) << row.args[0] << " " << row.args.back();
  }
  std::remove(script.c_str());
}
