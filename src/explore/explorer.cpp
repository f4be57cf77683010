#include "explore/explorer.h"

#include <xxhash.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "engine/state/packed_snapshot.h"
#include "engine/state/state_io.h"
#include "engine/state/state_layout.h"
#include "platform/gdi/png_writer.h"
#include "platform/headless/headless_host.h"

namespace tsumugi::explore {

const char* EndName(EndKind kind) {
  switch (kind) {
    case EndKind::kEnd:
      return "end";
    case EndKind::kError:
      return "error";
    case EndKind::kRepeat:
      return "repeat";
    case EndKind::kLimit:
      return "limit";
  }
  return "end";
}

namespace {

// Engine time a branch may run without a wait for the player before it is
// given up (a game that only animates, forever).
constexpr uint64_t kQuietLimitMs = 10 * 60 * 1000;

using SaveFiles = std::vector<std::pair<std::string, std::string>>;

// A state to go on from, shared by the branches that leave it: the game
// and the save files it had written.
struct Branching {
  PackedSnapshot snapshot;
  SaveFiles saves;
  int node = -1;
  // The node's place, as the report names it.
  std::string at;
};

// A branch still to follow.
struct Pending {
  std::shared_ptr<const Branching> from;
  std::string label;
  Point point;
  // The path's choices up to this branch, and its waits so far.
  std::vector<std::string> choices;
  uint64_t waits = 0;
};

struct StateKey {
  uint64_t low = 0;
  uint64_t high = 0;
  friend bool operator==(const StateKey&, const StateKey&) = default;
};
struct StateKeyHash {
  size_t operator()(const StateKey& key) const { return static_cast<size_t>(key.low); }
};

// Hashes the pixels of the surfaces a state names instead of writing them.
class HashingShelf final : public SurfaceShelf {
 public:
  HashingShelf() { XXH3_128bits_reset(state_); }
  ~HashingShelf() override { XXH3_freeState(state_); }
  HashingShelf(const HashingShelf&) = delete;
  HashingShelf& operator=(const HashingShelf&) = delete;

  uint32_t Put(const gdi::Surface& surface) override {
    const size_t size = static_cast<size_t>(surface.Width()) * surface.Height() * 4;
    if (size != 0) XXH3_128bits_update(state_, surface.Data(), size);
    return count_++;
  }
  bool Take(uint32_t, gdi::Surface&) override { return false; }
  void Add(std::string_view bytes) { XXH3_128bits_update(state_, bytes.data(), bytes.size()); }
  StateKey Key() const {
    const XXH128_hash_t hash = XXH3_128bits_digest(state_);
    return {hash.low64, hash.high64};
  }

 private:
  XXH3_state_t* state_ = XXH3_createState();
  uint32_t count_ = 0;
};

// What only time changes, or only the way the wait was reached: two
// snapshots that differ in nothing else are the same state of the game.
struct Timing {
  uint64_t engine_time = 0;
  Point pointer;
  std::array<TimerSetting, kGameTimerCount> timers;
  std::array<MediaSlotSnapshot, kSlotCount + 1> slots;
  SoundSnapshot sound;
  bool notification_due = false;
  RunStateKind saved_run_state = RunStateKind::kRunning;
};

// Sets what only time changes to the same in every snapshot, and returns
// what it was.
Timing LeaveOutTime(Snapshot& s) {
  Timing was{s.engine_time, s.pointer, s.timers, s.media.slots, s.media.sound,
             s.media.notification_due, s.state.input.SavedRunState};
  s.engine_time = 0;
  s.pointer = {};
  for (TimerSetting& timer : s.timers) timer.due_in = 0;
  for (MediaSlotSnapshot& slot : s.media.slots) {
    slot.position = 0;
    slot.given = slot.given > 0 ? 1 : 0;
    slot.pass_start = 0;
    slot.video_decoded_us.reset();
  }
  // A wave sound that still plays or has just ended: no script can tell.
  s.media.sound = {};
  s.media.notification_due = false;
  // Set afresh at every press before anything reads it.
  if (s.state.buttons.PressedButton == 0) s.state.input.SavedRunState = RunStateKind::kRunning;
  return was;
}

void PutBackTime(Snapshot& s, const Timing& was) {
  s.engine_time = was.engine_time;
  s.pointer = was.pointer;
  s.timers = was.timers;
  s.media.slots = was.slots;
  s.media.sound = was.sound;
  s.media.notification_due = was.notification_due;
  s.state.input.SavedRunState = was.saved_run_state;
}

bool IsClickWait(RunStateKind state) {
  return state == RunStateKind::kWaitTextClick || state == RunStateKind::kWaitTextClickOrRight ||
         state == RunStateKind::kWaitClick || state == RunStateKind::kWaitClickOrRight;
}

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Everything the exploration shares between its jobs.
struct Shared {
  explicit Shared(const ExploreOptions& o) : options(o) {}

  const ExploreOptions& options;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Pending> stack;
  std::unordered_map<StateKey, int, StateKeyHash> nodes_by_key;
  std::unordered_set<uint64_t> pages;
  std::unordered_set<StateKey, StateKeyHash> button_places;
  // The states passed at click waits.
  std::unordered_set<StateKey, StateKeyHash> visited;
  Exploration result;
  // Jobs playing a branch now.
  int busy = 1;
  bool done = false;
  PictureStore store;
};

class Job {
 public:
  Job(Shared& shared, int index)
      : shared_(shared), options_(shared.options),
        save_folder_(options_.scratch_folder / ("job-" + std::to_string(index))) {
    std::error_code ec;
    std::filesystem::create_directories(save_folder_, ec);
  }

  // Plays branches until none is left; the first job starts at the game's
  // start.
  void Run(bool first) {
    std::optional<Pending> pending;
    if (!first) pending = Take(/*was_busy=*/false);
    while (first || pending) {
      Play(pending);
      first = false;
      pending = Take();
    }
  }

  RunRecord::LineCounts& Counts() { return counts_; }
  Engine* LastEngine() { return engine_.get(); }

 private:
  // One engine, from the start or from a pending branch, until it ends: at
  // the game's end or an error, or when no branch is left.
  void Play(const std::optional<Pending>& pending) {
    engine_.reset();
    host_.reset();
    headless::HeadlessOptions host_options;
    host_options.start_date = options_.start_date;
    host_options.instance_lock = false;
    host_ = std::make_unique<headless::HeadlessHost>(std::move(host_options));
    EngineOptions engine_options;
    engine_options.game_folder = options_.game_folder;
    engine_options.settings_file = options_.settings_file;
    engine_options.save_dir = save_folder_;
    engine_options.seed = options_.seed;
    engine_options.keep_waits = false;
    engine_ = std::make_unique<Engine>(*host_, engine_options);
    engine_->record.Start(nullptr, true);
    engine_->player.snapshot_points = [this](std::optional<uint32_t> pause_left) {
      if (!pause_left) AtWait();
    };
    finishing_ = false;
    ExitStatus status;
    if (!pending) {
      RestoreSaves({});
      BeginBranch(-1, "", {}, 0);
      status = engine_->Run();
    } else {
      Snapshot snapshot;
      if (!pending->from->snapshot.Unpack(snapshot)) {
        // Our own fault, not the game's: said as an error of that branch.
        BeginBranch(pending->from->node, pending->label, pending->choices, pending->waits);
        EndBranch({EndKind::kError, pending->from->at,
                   "the state to go on from could not be read back"});
        return;
      }
      RestoreSaves(pending->from->saves);
      BeginBranch(pending->from->node, pending->label, pending->choices, pending->waits);
      Click(pending->point);
      status = engine_->RunFrom(snapshot);
    }
    RunRecord::AddCounts(counts_, engine_->record.Counts());
    if (finishing_) return;
    switch (status) {
      case ExitStatus::kError:
        EndBranch({EndKind::kError, Here(), Utf16ToUtf8(host_->LastMessage())});
        break;
      case ExitStatus::kTimeLimit:
        EndBranch({EndKind::kLimit, Here(),
                   "no wait for the player in " + std::to_string(kQuietLimitMs / 60000) +
                       " minutes of game time, or a script that never lets time pass"});
        break;
      default:
        EndBranch({EndKind::kEnd, Here(), ""});
        break;
    }
  }

  std::string Here() {
    const ScriptState& s = engine_->state.script;
    if (s.CurrentFile <= 0 || s.CurrentFile > engine_->catalogue.CatalogueCount()) return "";
    return engine_->record.Where(s.CurrentFile, std::max(s.CurrentLineNumber, 1));
  }

  // The game has come back to the event loop.
  void AtWait() {
    if (finishing_ || host_->ActionsLeft()) return;
    Engine& e = *engine_;
    const RunStateKind run = e.state.input.RunState;
    const bool menu = run == RunStateKind::kWaitChoice;
    const bool click_wait = IsClickWait(run);
    // The game's own timers or a video: time goes on.
    if (!menu && !click_wait) return;
    host_->SetMaxTime(host_->Now() + kQuietLimitMs);
    const bool shown = e.state.buttons.AnyShown();
    // Buttons are followed once for each place, set of variables and set
    // of buttons: a bar shown on every page, pressed again on the page one
    // of its buttons shows, would otherwise multiply the paths at every
    // page.
    const bool buttons = shown && NewButtonPlace();
    if (++waits_ > options_.max_waits) {
      EndBranch({EndKind::kLimit, Here(),
                 "more than " + std::to_string(options_.max_waits) + " waits on one path"});
      Next();
      return;
    }
    {
      std::lock_guard lock(shared_.mutex);
      if (shared_.result.cut) EndBranchLocked({EndKind::kLimit, Here(), "the exploration was cut"});
    }
    if (!branch_) {
      Next();
      return;
    }
    const std::string page = KeepPage();
    Snapshot& snapshot = taken_;
    TakeSnapshotInto(e, std::nullopt, snapshot);
    const StateKey key = Key(snapshot);
    if (!menu && !buttons) {
      branch_pages_.push_back(page);
      bool seen;
      {
        std::lock_guard lock(shared_.mutex);
        seen = !shared_.visited.insert(key).second;
      }
      if (seen) {
        EndBranch({EndKind::kRepeat, Here(), ""});
        Next();
        return;
      }
      Click(FreePoint());
      return;
    }
    // A branch point: a menu, or buttons to press.
    int node;
    {
      std::lock_guard lock(shared_.mutex);
      const auto [it, added] =
          shared_.nodes_by_key.try_emplace(key, static_cast<int>(shared_.result.nodes.size()));
      node = it->second;
      if (!added) {
        Edge& edge = shared_.result.edges[static_cast<size_t>(*branch_)];
        edge.to = node;
        EndBranchLocked({EndKind::kRepeat, shared_.result.nodes[static_cast<size_t>(node)].at, "",
                         node});
      } else {
        shared_.result.nodes.push_back({Here(), menu, page, {}});
        Edge& edge = shared_.result.edges[static_cast<size_t>(*branch_)];
        edge.to = node;
        edge.pages = std::move(branch_pages_);
        branch_pages_.clear();
      }
    }
    if (!branch_) {
      Next();
      return;
    }
    std::vector<std::pair<std::string, Point>> ways;
    const Point free = FreePoint();
    if (click_wait) ways.emplace_back("click", free);
    for (int32_t n = 1; menu; ++n) {
      std::u16string text;
      bool found = false;
      for (const TextLine& line : e.state.text.TextLines) {
        if (line.ChoiceNumber != n) continue;
        text += line.Text;
        found = true;
      }
      if (!found) break;
      if (const std::optional<Point> at = e.text.ChoicePoint(n)) {
        ways.emplace_back(Utf16ToUtf8(text), *at);
      }
    }
    if (buttons) {
      for (int32_t n = 1; n <= e.buttons.ButtonCount(); ++n) {
        if (const std::optional<Point> at = e.buttons.ButtonPoint(n)) {
          ways.emplace_back("button " + std::to_string(n), *at);
        }
      }
    }
    if (ways.empty()) {
      std::lock_guard lock(shared_.mutex);
      shared_.result.edges[static_cast<size_t>(*branch_)].to = -1;
      EndBranchLocked({EndKind::kError, Here(), "no choice of this menu can be taken"});
    } else {
      auto from = std::make_shared<Branching>();
      from->node = node;
      from->at = Here();
      // Several jobs may pack at once; the store takes care of itself.
      from->snapshot = PackedSnapshot(snapshot, shared_.store);
      from->saves = ReadSaves();
      {
        std::lock_guard lock(shared_.mutex);
        for (size_t i = ways.size(); i-- > 1;) {
          shared_.stack.push_back({from, ways[i].first, ways[i].second, Choices(ways[i].first),
                                   waits_});
        }
        // Every branch waiting will end a path: with as many ends in
        // sight as allowed, the exploration is cut.
        CountTowardsLimitLocked();
      }
      shared_.changed.notify_all();
      // The first way is followed at once, from where the game stands.
      const std::vector<std::string> choices = Choices(ways[0].first);
      BeginBranch(node, ways[0].first, choices, waits_);
      Click(ways[0].second);
      return;
    }
    Next();
  }

  bool NewButtonPlace() {
    HashingShelf shelf;
    GameState& g = engine_->state;
    StateWriter writer(nullptr);
    writer(g.script.CurrentFile);
    writer(g.script.CurrentLineNumber);
    Walk(writer, g.vars);
    for (ButtonState& b : g.buttons.Buttons) {
      writer(b.X);
      writer(b.Y);
      writer(b.MemoryNumber);
      writer(b.Normal);
      writer(b.Pressed);
      writer(b.HitMap);
    }
    shelf.Add(writer.bytes);
    std::lock_guard lock(shared_.mutex);
    return shared_.button_places.insert(shelf.Key()).second;
  }

  std::vector<std::string> Choices(const std::string& label) const {
    std::vector<std::string> choices = choices_;
    if (label != "click") choices.push_back(label);
    return choices;
  }

  // Goes on with the next pending branch in this engine, or lets the
  // engine end when none is left.
  void Next() {
    std::optional<Pending> pending = Take();
    if (!pending) {
      // The input runs out and the engine ends as with Escape.
      finishing_ = true;
      return;
    }
    Snapshot& snapshot = scratch_;
    RestoreSaves(pending->from->saves);
    BeginBranch(pending->from->node, pending->label, pending->choices, pending->waits);
    if (!pending->from->snapshot.Unpack(snapshot)) {
      EndBranch({EndKind::kError, pending->from->at,
                 "the state to go on from could not be read back"});
      Next();
      return;
    }
    ApplySnapshot(*engine_, snapshot, HeldInput::kAsTaken);
    ResumeAfterSnapshot(*engine_, snapshot);
    Click(pending->point);
  }

  // The next branch to follow (this job no longer plays one); none when
  // the exploration is over.
  std::optional<Pending> Take(bool was_busy = true) {
    std::unique_lock lock(shared_.mutex);
    branch_.reset();
    if (was_busy) --shared_.busy;
    shared_.changed.notify_all();
    for (;;) {
      if (shared_.result.cut) {
        // Every branch still waiting ends where it would have begun.
        for (const Pending& p : shared_.stack) {
          const int edge = AddEdgeLocked(p.from->node, p.label);
          Ending ending{EndKind::kLimit, p.from->at, "the exploration was cut"};
          shared_.result.edges[static_cast<size_t>(edge)].ending = ending;
          shared_.result.paths.push_back({p.choices, ending, edge});
          ++shared_.result.limits;
        }
        shared_.stack.clear();
      }
      if (!shared_.stack.empty()) {
        Pending p = std::move(shared_.stack.back());
        shared_.stack.pop_back();
        ++shared_.busy;
        return p;
      }
      if (shared_.busy == 0 || shared_.done) {
        shared_.done = true;
        shared_.changed.notify_all();
        return std::nullopt;
      }
      shared_.changed.wait(lock);
    }
  }

  int AddEdgeLocked(int from, const std::string& label) {
    const int edge = static_cast<int>(shared_.result.edges.size());
    shared_.result.edges.push_back({from, label, {}, -1, std::nullopt});
    if (from >= 0) shared_.result.nodes[static_cast<size_t>(from)].edges.push_back(edge);
    return edge;
  }

  void BeginBranch(int from, const std::string& label, std::vector<std::string> choices,
                   uint64_t waits) {
    std::lock_guard lock(shared_.mutex);
    branch_ = AddEdgeLocked(from, label);
    choices_ = std::move(choices);
    waits_ = waits;
    branch_pages_.clear();
    host_->SetMaxTime(host_->Now() + kQuietLimitMs);
  }

  void EndBranch(Ending ending) {
    {
      std::lock_guard lock(shared_.mutex);
      EndBranchLocked(std::move(ending));
    }
    shared_.changed.notify_all();
  }

  void EndBranchLocked(Ending ending) {
    if (!branch_) return;
    Exploration& r = shared_.result;
    Edge& edge = r.edges[static_cast<size_t>(*branch_)];
    if (edge.pages.empty()) edge.pages = std::move(branch_pages_);
    branch_pages_.clear();
    if (ending.kind == EndKind::kError) ++r.errors;
    if (ending.kind == EndKind::kLimit) ++r.limits;
    edge.ending = ending;
    r.paths.push_back({choices_, std::move(ending), *branch_});
    CountTowardsLimitLocked();
    branch_.reset();
  }

  void CountTowardsLimitLocked() {
    if (shared_.result.paths.size() + shared_.stack.size() >= options_.max_paths) {
      shared_.result.cut = true;
    }
  }

  // A left click at `point`, as the next action.
  void Click(Point point) {
    headless::Action click;
    click.kind = headless::Action::Kind::kClick;
    click.point = point;
    host_->AddAction(click);
  }

  // A point that takes no button and no choice, for a click wait.
  Point FreePoint() {
    Engine& e = *engine_;
    const bool buttons = e.state.buttons.AnyShown();
    const bool menu = e.state.input.RunState == RunStateKind::kWaitChoice;
    const auto free = [&](int x, int y) {
      return (!buttons || e.buttons.ButtonAt(x, y) == 0) &&
             (!menu || e.text.ChoiceHitTest(static_cast<float>(x), static_cast<float>(y)) == 0);
    };
    const int w = gdi::kScreenWidth, h = gdi::kScreenHeight;
    for (const Point p : {Point{w - 1, h - 1}, Point{0, h - 1}, Point{w - 1, 0}, Point{0, 0}}) {
      if (free(p.x, p.y)) return p;
    }
    for (int y = 0; y < h; y += 7) {
      for (int x = 0; x < w; x += 7) {
        if (free(x, y)) return {x, y};
      }
    }
    return {w - 1, h - 1};
  }

  // The screen as the player sees it, written once as a PNG; its name.
  std::string KeepPage() {
    const gdi::Surface shown = host_->ShownScreen();
    const uint64_t hash =
        XXH3_64bits(shown.Data(), static_cast<size_t>(shown.Width()) * shown.Height() * 4);
    const std::string name = Hex(hash);
    if (!options_.pages_folder) return name;
    {
      std::lock_guard lock(shared_.mutex);
      if (!shared_.pages.insert(hash).second) return name;
    }
    std::string error;
    if (!gdi::WritePng(shown, PathToUtf8(*options_.pages_folder / (name + ".png")), &error)) {
      std::lock_guard lock(shared_.mutex);
      if (shared_.result.write_error.empty()) shared_.result.write_error = error;
    }
    return name;
  }

  // The whole game state apart from time, with the save files it wrote.
  // The snapshot is left as it was.
  StateKey Key(Snapshot& snapshot) {
    const Timing timing = LeaveOutTime(snapshot);
    HashingShelf shelf;
    shelf.Add(EncodeSnapshotPayload(snapshot, &shelf));
    PutBackTime(snapshot, timing);
    for (const auto& [name, bytes] : ReadSaves()) {
      shelf.Add(name);
      shelf.Add(bytes);
    }
    return shelf.Key();
  }

  SaveFiles ReadSaves() {
    SaveFiles files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(save_folder_, ec)) {
      std::string bytes;
      if (!entry.is_regular_file(ec) || !ReadWholeFile(entry.path(), &bytes, nullptr)) continue;
      files.emplace_back(PathToUtf8(entry.path().filename()), std::move(bytes));
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  void RestoreSaves(const SaveFiles& files) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(save_folder_, ec)) {
      std::filesystem::remove_all(entry.path(), ec);
    }
    for (const auto& [name, bytes] : files) {
      if (!WriteWholeFile(save_folder_ / name, bytes, nullptr)) {
        std::lock_guard lock(shared_.mutex);
        if (shared_.result.write_error.empty()) {
          shared_.result.write_error = "cannot write " + PathToUtf8(save_folder_ / name);
        }
      }
    }
  }

  Shared& shared_;
  const ExploreOptions& options_;
  const std::filesystem::path save_folder_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
  // The last snapshot unpacked, and the last one taken: each is read or
  // taken over the one before.
  Snapshot scratch_;
  Snapshot taken_;
  RunRecord::LineCounts counts_;
  bool finishing_ = false;
  // The branch being played (an edge), its path's choices and waits, and
  // its pages.
  std::optional<int> branch_;
  std::vector<std::string> choices_;
  uint64_t waits_ = 0;
  std::vector<std::string> branch_pages_;
};

}  // namespace

Exploration Explore(const ExploreOptions& options) {
  Shared shared(options);
  const int jobs = std::max(1, options.jobs);
  std::vector<std::unique_ptr<Job>> all;
  for (int i = 0; i < jobs; ++i) all.push_back(std::make_unique<Job>(shared, i));
  std::vector<std::thread> threads;
  for (int i = 1; i < jobs; ++i) threads.emplace_back([&, i] { all[static_cast<size_t>(i)]->Run(false); });
  std::thread first([&] { all[0]->Run(true); });
  if (options.progress) {
    const auto start = std::chrono::steady_clock::now();
    auto next = start + std::chrono::seconds(1);
    std::unique_lock lock(shared.mutex);
    while (!shared.done) {
      shared.changed.wait_until(lock, next);
      if (shared.done || std::chrono::steady_clock::now() < next) continue;
      next += options.progress_every;
      options.progress(shared.result.paths.size(), shared.stack.size(), shared.result.errors);
    }
  }
  first.join();
  for (std::thread& t : threads) t.join();

  Exploration result = std::move(shared.result);
  // Coverage of every job's engines together, counted on the first job's
  // last engine, which knows the scenarios.
  Engine* engine = all[0]->LastEngine();
  if (engine != nullptr) {
    engine->record.Start(nullptr, true);
    for (const auto& job : all) engine->record.AddCounts(job->Counts());
    result.coverage = engine->record.CoverageText();
    engine->record.ForEachCountedLine([&](int file, int line, uint64_t count) {
      ++result.lines;
      if (count > 0) {
        ++result.lines_reached;
        return;
      }
      const std::string where = engine->record.Where(file, line);
      const ScenarioFile& scenario = engine->catalogue.File(file);
      result.unreached.push_back({where.substr(0, where.rfind(':')), line,
                                  Utf16ToUtf8(scenario.lines[static_cast<size_t>(line) - 1])});
    });
  }
  return result;
}

}  // namespace tsumugi::explore
