// A seeded random walk over the main window's inventory: each step a command and a seed for its
// answers (values typed, valid and invalid, items chosen, OK, Cancel, Esc, the close box, files
// that exist, do not or cannot be written). The walk runs in a child process, so a crash, a
// sanitizer report or a leak (checked at the child's exit) is seen by the test; a failing walk is
// cut to its failing step and shrunk to the shortest sequence that still fails, printed in the
// replay format. The child is this test program started afresh, not a fork: a fork would carry
// the state of the tests run before it, Qt's worker pools among them, whose threads a forked
// child does not have (an image conversion then waits for them for ever).
//   VKEST_WALK_SEED=n     another seed, VKEST_WALK_STEPS=n the length (1000; tools/walk_long.sh
//                         walks 10000 steps with two seeds)
//   VKEST_WALK_REPLAY=f   replays the steps of file f ("<command> <seed>" per line)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include "mainwin/inventory_fixture.h"

namespace {
struct WalkStep {
  int32_t command = 0;  // index into the inventory
  uint32_t seed = 0;    // of the step's answers (and a graph click's pixel)
};
using Walk = std::vector<WalkStep>;

std::vector<WalkStep> MakeWalk(uint32_t seed, size_t n, size_t commands) {
  std::mt19937 rng(seed);
  Walk w(n);
  for (WalkStep& s : w) s.command = static_cast<int32_t>(rng() % commands), s.seed = rng();
  return w;
}

void WriteWalk(const Walk& walk, const std::string& file) {
  std::ofstream out(file);
  for (const WalkStep& s : walk) out << s.command << " " << s.seed << "\n";
}

Walk ReadWalk(const std::string& file) {
  Walk w;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    WalkStep step;
    if (s >> step.command >> step.seed) w.push_back(step);
  }
  return w;
}

class RandomWalkTest : public InventoryTest {
protected:
  void SetUp() override {
    InventoryTest::SetUp();
    ui.answer = GenericUi::Answer::Random;
    // Yes lets the hkl search visit some 1e9 indices, minutes under the sanitizers.
    ui.alwaysNo = {"Too many tries for hkls. Continue?"};
    // A wait of a click loop: a side button or a click on the graph, as a user would end it; after
    // ten of these the user takes the loop's way out (OK where it is on, else two clicks inside
    // the graph), as one who has read the status line does. Random clicks alone end a loop that
    // waits for two clicks only by chance, which 10^4 steps always meet.
    ui.onWait = [this, wayOut = ui.onWait](std::mt19937& rng) {
      if (++waitAnswers > 10) return wayOut(rng);
      const uint32_t r = rng() % 4;
      if (r < 2) Form1.HandleEvent({TMainEventKind::SideButton, static_cast<int32_t>(r + 1)});
      else Form1.HandleEvent({TMainEventKind::GraphClick, static_cast<int32_t>(rng() % 3), 0, false,
                              static_cast<int32_t>(rng() % 520), static_cast<int32_t>(rng() % 330)});
    };
    // Copies of committed files: a walk may save over any file it is offered.
    const std::filesystem::path data = std::filesystem::path(VKEST_SOURCE_DIR) / "tests";
    std::filesystem::remove_all(pool), std::filesystem::create_directories(pool);
    ui.openPool.clear();
    for (const char* name : {"ini/data/all_commands.ini", "ini/data/angular_xye.txt", "ini/data/effective.txt",
                             "spectrum/data/events_sample.dat", "mainwin/data/cfbk_list.sp",
                             "ini/data/celix_setup.ini", "ini/data/frame.ini"}) {
      const std::filesystem::path copy = pool / std::filesystem::path(name).filename();
      std::filesystem::copy_file(data / name, copy, std::filesystem::copy_options::overwrite_existing);
      ui.openPool.push_back(copy.string());
    }
    inventory = MainWindowInventory();
  }

  void TearDown() override {
    std::filesystem::remove_all(pool);
    std::filesystem::remove(steps);
    InventoryTest::TearDown();
  }

  const std::filesystem::path pool = TestTempPath("walk_pool"), steps = TestTempPath("walk_steps");
  int32_t waitAnswers = 0;  // of the step

  std::string Describe(const WalkStep& s) const {
    return std::to_string(s.command) + " " + std::to_string(s.seed) + "  # " + inventory[static_cast<size_t>(s.command)].name;
  }

  // The steps in this process; the exit code of a child: 0 fine, 3 a user left stuck. Each step's
  // index goes to progress before it runs, so a crash names its step.
  int Play(const Walk& walk, int progress) {
    Restart();
    for (size_t i = 0; i < walk.size(); ++i) {
      const uint32_t index = static_cast<uint32_t>(i);
      if (write(progress, &index, sizeof index) != sizeof index) return 4;
      TCommand c = inventory[static_cast<size_t>(walk[i].command)];
      if (c.event.kind == TMainEventKind::GraphClick)
        c.event.x = static_cast<int32_t>(walk[i].seed % 520), c.event.y = static_cast<int32_t>(walk[i].seed / 520 % 330);
      ui.Begin(walk[i].seed);
      waitAnswers = 0;
      alarm(20);  // a step that hangs ends the child by the alarm's signal
      Form1.HandleEvent(c.event);
      alarm(0);
      std::vector<std::string> problems = ui.problems;
      if (ProgramBusy()) problems.push_back("the program stays busy");
      if (!problems.empty()) {
        for (const auto& p : problems) std::fprintf(stderr, "step %zu, %s: %s\n", i, c.name.c_str(), p.c_str());
        return 3;
      }
      if (SessionEnded) Restart();  // Exit or the close box ended it: a new session, as a new start
    }
    return 0;
  }

  // Runs the walk in a child; true when it failed, with the index of the step it failed at.
  bool Fails(const Walk& walk, bool quiet, size_t& at, std::chrono::seconds limit) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    WriteWalk(walk, steps.string());
    const std::string progress = std::to_string(pipeFds[1]);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      close(pipeFds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);  // the child's test report
      if (quiet) dup2(null, 2);
      setenv("VKEST_WALK_PLAY", steps.c_str(), 1);
      setenv("VKEST_WALK_PROGRESS", progress.c_str(), 1);
      execl("/proc/self/exe", "test_mainwin", "--gtest_filter=RandomWalkTest.SeededStepsOfCommandsAndAnswers",
            static_cast<char*>(nullptr));
      _exit(5);
    }
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    bool hung = false;
    uint32_t last = 0;
    for (;;) {
      uint32_t index;
      while (read(pipeFds[0], &index, sizeof index) == sizeof index) last = index;
      if (waitpid(pid, &status, WNOHANG) == pid) break;
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        hung = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    uint32_t index;
    while (read(pipeFds[0], &index, sizeof index) == sizeof index) last = index;
    close(pipeFds[0]);
    at = last;
    if (!quiet && (hung || (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)))
      std::fprintf(stderr, "the walk hung at step %u\n", last);
    // A leak found at the exit fails the whole walk: its step is the last one.
    return hung || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  }

  // The shortest failing walk found by dropping chunks of steps (halving the chunk size).
  Walk Shrink(Walk walk, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (size_t chunk = walk.size() / 2; chunk >= 1 && std::chrono::steady_clock::now() < end; chunk /= 2) {
      for (size_t from = 0; from + chunk <= walk.size() && std::chrono::steady_clock::now() < end;) {
        Walk shorter(walk.begin(), walk.begin() + static_cast<std::ptrdiff_t>(from));
        shorter.insert(shorter.end(), walk.begin() + static_cast<std::ptrdiff_t>(from + chunk), walk.end());
        size_t at = 0;
        if (Fails(shorter, true, at, std::chrono::seconds(120))) walk.assign(shorter.begin(), shorter.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1, shorter.size())));
        else from += chunk;
      }
    }
    return walk;
  }

  void Check(const Walk& walk) {
    size_t at = 0;
    // Some 0.1 s a step under the sanitizers at the most.
    if (!Fails(walk, false, at, std::chrono::seconds(900 + walk.size() / 10))) return;
    Walk failing(walk.begin(), walk.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1, walk.size())));
    failing = Shrink(failing, std::chrono::seconds(300));
    std::string text;
    for (const WalkStep& s : failing) text += Describe(s) + "\n";
    ADD_FAILURE() << "the walk fails after step " << at << "; the shortest failing sequence found ("
                  << failing.size() << " steps, VKEST_WALK_REPLAY format):\n" << text;
  }

  std::vector<TCommand> inventory;
};

TEST_F(RandomWalkTest, SeededStepsOfCommandsAndAnswers) {
  if (const char* play = std::getenv("VKEST_WALK_PLAY")) {  // the child: its exit code is the verdict
    const int code = Play(ReadWalk(play), std::atoi(std::getenv("VKEST_WALK_PROGRESS")));
    TearDown();
    std::exit(code);  // exit, not _exit: the leak check runs at the exit
  }
  if (const char* file = std::getenv("VKEST_WALK_REPLAY")) return Check(ReadWalk(file));
  const char* seed = std::getenv("VKEST_WALK_SEED");
  const char* length = std::getenv("VKEST_WALK_STEPS");
  Check(MakeWalk(seed ? static_cast<uint32_t>(std::strtoul(seed, nullptr, 10)) : 20261207u,
                 length ? std::strtoul(length, nullptr, 10) : 1000, inventory.size()));
}
}  // namespace
