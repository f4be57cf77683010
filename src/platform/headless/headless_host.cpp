#include "platform/headless/headless_host.h"

#include <time.h>

#include <ostream>

#include "common/diagnostics.h"
#include "common/text_codec.h"
#include "platform/gdi/png_writer.h"
#include "platform/headless/json.h"
#include "platform/instance/stop_signals.h"

namespace tsumugi::headless {

namespace {

// Real time in milliseconds from the coarse monotonic clock: a few
// nanoseconds to read, so the watchdog can look at every pump. Its steps of
// a few milliseconds do not matter against a limit of seconds.
int64_t CoarseNowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

namespace {
// The mix is made and written in pieces of this many frames.
constexpr uint64_t kMixPiece = 4096;
}  // namespace

HeadlessHost::HeadlessHost(HeadlessOptions options)
    : options_(std::move(options)),
      screen_(gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack),
      // Sound is made only when someone listens: without --audio-out every
      // medium still runs its course and ends at its time, in silence. A
      // restored state goes on with the same samples the run would have
      // made, so that runs repeat exactly.
      devices_({.sound = options_.audio_out != nullptr,
                .soundfont = options_.soundfont,
                .err = options_.err,
                .restore = RestoreMode::kExact,
                .start_frame = media::FrameAtMs(options_.start_time)}) {
  watched_since_ms_ = CoarseNowMs();
  devices_.SetHold([this] { HoldForSound(); });
  now_ = options_.start_time;
  last_action_time_ = options_.last_action_time;
  next_action_ = std::min(options_.first_action, options_.actions.size());
}

uint64_t HeadlessHost::PlayMediaTo(uint64_t time, bool stop_at_notification) {
  if (options_.media) return time;
  const uint64_t target = media::FrameAtMs(time);
  for (;;) {
    // What falls due at the present frame (a video that has just started
    // and has nothing to show, say) is seen before the mix goes on.
    devices_.Heard(devices_.Position());
    if (devices_.TakeNotification()) {
      notification_pending_ = true;
      if (stop_at_notification) {
        // The notification arrives at the first millisecond at or after the
        // frame; the mix runs on to that millisecond.
        return PlayMediaTo(std::max(now_, media::MsAtFrame(devices_.Position())), false);
      }
    }
    if (devices_.Position() >= target) break;
    // The mix is written in pieces; without anyone listening it is only
    // made where something sounds.
    uint64_t stop = options_.audio_out ? std::min(target, devices_.Position() + kMixPiece) : target;
    if (std::optional<uint64_t> event = devices_.NextEvent()) stop = std::min(stop, *event);
    int16_t* out = nullptr;
    if (options_.audio_out) {
      mix_.resize(static_cast<size_t>(stop - devices_.Position()) * 2);
      out = mix_.data();
    }
    const size_t made = devices_.Render(stop, out);
    if (options_.audio_out) options_.audio_out->Write(mix_.data(), made);
  }
  return time;
}

void HeadlessHost::AdvanceTo(uint64_t time, bool stop_at_notification) {
  if (time <= now_) return;
  if (options_.max_time && time > *options_.max_time) {
    now_ = std::max(now_, PlayMediaTo(std::max(now_, *options_.max_time), false));
    if (sink_) sink_->OnTimeLimit();
    return;
  }
  now_ = PlayMediaTo(time, stop_at_notification);
  ++clock_steps_;
}

void HeadlessHost::HoldForSound() {
  // Nothing else runs: timers and the player's actions wait, as they would
  // in the window's queue, until the sound is over.
  while (devices_.SoundPlaying()) AdvanceTo(now_ + 1);
}

void HeadlessHost::Sleep(uint32_t milliseconds) {
  CheckForEndlessScript();
  AdvanceTo(now_ + milliseconds);
}

std::optional<uint64_t> HeadlessHost::NextTimedActionTime() const {
  if (next_action_ >= options_.actions.size()) return std::nullopt;
  const Action& action = options_.actions[next_action_];
  if (!action.delay) return std::nullopt;
  return last_action_time_ + *action.delay;
}

std::optional<uint64_t> HeadlessHost::NextEventTime() const {
  std::optional<uint64_t> next = NextTimedActionTime();
  for (const Timer& timer : timers_) {
    if (timer.enabled && timer.interval > 0 && (!next || timer.next_due < *next)) {
      next = timer.next_due;
    }
  }
  return next;
}

bool HeadlessHost::DeliverDue() {
  bool delivered = false;
  for (;;) {
    if (notification_pending_) {
      notification_pending_ = false;
      delivered = true;
      if (sink_) sink_->OnMediaNotify();
      continue;
    }
    // The earliest due item first; a timer due at the same moment as an
    // action ticks before it.
    int timer_index = -1;
    uint64_t timer_due = 0;
    for (size_t i = 0; i < timers_.size(); ++i) {
      const Timer& timer = timers_[i];
      if (timer.enabled && timer.interval > 0 && timer.next_due <= now_ &&
          (timer_index < 0 || timer.next_due < timer_due)) {
        timer_index = static_cast<int>(i);
        timer_due = timer.next_due;
      }
    }
    std::optional<uint64_t> action_due = NextTimedActionTime();
    bool action_ready = action_due && *action_due <= now_;

    if (timer_index >= 0 && (!action_ready || timer_due <= *action_due)) {
      Timer& timer = timers_[timer_index];
      // Like window timers, missed ticks are not queued up: one tick, then
      // the next one a full interval later.
      timer.next_due += timer.interval;
      if (timer.next_due <= now_) timer.next_due = now_ + timer.interval;
      delivered = true;
      if (sink_) sink_->OnTimer(static_cast<TimerId>(timer_index));
      continue;
    }
    if (action_ready) {
      const Action& action = options_.actions[next_action_++];
      last_action_time_ = *action_due;
      delivered = true;
      Perform(action);
      continue;
    }
    return delivered;
  }
}

void HeadlessHost::CheckForEndlessScript() {
  if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
  const int64_t wall = CoarseNowMs();
  if (now_ != watched_time_) {
    watched_time_ = now_;
    watched_since_ms_ = wall;
    return;
  }
  const int64_t limit = options_.endless_script_limit.count();
  if (wall - watched_since_ms_ > limit) {
    if (options_.err) {
      Complain(*options_.err,
               "the script has run for " + std::to_string((limit + 999) / 1000) +
                   " s without letting engine time pass (an endless loop?); stopping");
    }
    watched_since_ms_ = wall;
    if (sink_) sink_->OnTimeLimit();
  }
}

bool HeadlessHost::EventsDue() {
  if (notification_pending_ || StopSignal() != 0) return true;
  for (const Timer& timer : timers_) {
    if (timer.enabled && timer.interval > 0 && timer.next_due <= now_) return true;
  }
  const std::optional<uint64_t> action_due = NextTimedActionTime();
  return action_due && *action_due <= now_;
}

void HeadlessHost::DoEvents() {
  CheckForEndlessScript();
  DeliverDue();
}

void HeadlessHost::WaitEvents(uint32_t milliseconds) {
  CheckForEndlessScript();
  if (DeliverDue()) return;
  uint64_t target = now_ + milliseconds;
  std::optional<uint64_t> next = NextEventTime();
  if (next && *next < target) target = std::max(*next, now_);
  AdvanceTo(target, true);
  DeliverDue();
}

void HeadlessHost::FinishAction(const Action& action) {
  if (action.kind == Action::Kind::kClick) {
    sink_->OnMouseUp(action.button, 0, action.point.x, action.point.y);
  } else if (action.kind == Action::Kind::kKey) {
    sink_->OnKeyUp(action.key, action.shift);
  }
}

void HeadlessHost::RunEventLoop() {
  if (options_.finish_action && *options_.finish_action < options_.actions.size() && sink_) {
    const size_t index = *options_.finish_action;
    options_.finish_action.reset();
    FinishAction(options_.actions[index]);
  }
  for (;;) {
    if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
    DeliverDue();
    const bool timed = next_action_ < options_.actions.size() &&
                       options_.actions[next_action_].delay.has_value();
    if (!timed && !options_.media && devices_.VideoPlaysToItsEnd()) {
      // A video that ends by itself is not a wait for the player: it is
      // watched to its end before the next action (a timed action can
      // still press during it).
      AdvanceTo(now_ + 100, true);
      continue;
    }
    if (next_action_ >= options_.actions.size()) {
      // The input has run out: the player leaves as with Escape.
      if (sink_) sink_->OnKeyPress(27);
      return;
    }
    const Action& action = options_.actions[next_action_];
    if (!action.delay) {
      ++next_action_;
      last_action_time_ = now_;
      Perform(action);
      continue;
    }
    // A timed action: let the clock run to it, firing timers on the way.
    uint64_t due = last_action_time_ + *action.delay;
    std::optional<uint64_t> next = NextEventTime();
    AdvanceTo(next ? std::min(*next, due) : due, true);
  }
}

template <typename Deliver>
void HeadlessHost::FirstHalf(Deliver deliver) {
  // Actions performed while this one is handled have their own halves;
  // the outermost is the one still to finish when they are done.
  const bool outermost = !half_done_;
  if (outermost) half_done_ = next_action_ - 1;
  deliver();
  if (outermost) half_done_.reset();
}

void HeadlessHost::Perform(Action action) {
  if (!sink_) return;
  using Kind = Action::Kind;
  switch (action.kind) {
    case Kind::kClick:
      cursor_ = action.point;
      FirstHalf([&] { sink_->OnMouseDown(action.button, 0, action.point.x, action.point.y); });
      sink_->OnMouseUp(action.button, 0, action.point.x, action.point.y);
      break;
    case Kind::kPress:
      cursor_ = action.point;
      sink_->OnMouseDown(action.button, 0, action.point.x, action.point.y);
      break;
    case Kind::kRelease:
      cursor_ = action.point;
      sink_->OnMouseUp(action.button, 0, action.point.x, action.point.y);
      break;
    case Kind::kMove:
      cursor_ = action.point;
      break;
    case Kind::kKey:
    case Kind::kKeyDown:
      if (action.kind == Kind::kKey) {
        FirstHalf([&] { sink_->OnKeyDown(action.key, action.shift); });
      } else {
        sink_->OnKeyDown(action.key, action.shift);
      }
      if (action.key == KeyCode::kEscape) sink_->OnKeyPress(27);
      if (action.kind == Kind::kKey) sink_->OnKeyUp(action.key, action.shift);
      break;
    case Kind::kKeyUp:
      sink_->OnKeyUp(action.key, action.shift);
      break;
    case Kind::kWheel:
      sink_->OnWheel(action.notches);
      break;
    case Kind::kAnswer:
      pending_answer_ = action.yes;
      break;
    case Kind::kScreenshot: {
      std::string error;
      if (!gdi::WritePng(ShownScreen(), action.file, &error)) {
        // A test that asked for a picture must not pass without it: the
        // run ends here, with its own exit status.
        if (options_.err) {
          Complain(*options_.err, "input line " + std::to_string(action.line) +
                                      ": cannot write screenshot " + action.file + ": " + error);
        }
        write_failed_ = true;
        sink_->OnCloseRequest();
      }
      break;
    }
    case Kind::kEnd:
      break;
  }
}

void HeadlessHost::SetTimerInterval(TimerId timer, uint32_t milliseconds) {
  Timer& t = timers_[Index(timer)];
  t.interval = milliseconds;
  t.next_due = now_ + milliseconds;
}

void HeadlessHost::EnableTimer(TimerId timer, bool enabled) {
  Timer& t = timers_[Index(timer)];
  if (enabled && !t.enabled) t.next_due = now_ + t.interval;
  t.enabled = enabled;
}

gdi::Surface HeadlessHost::ShownScreen() {
  gdi::Surface shown;
  ComposeShown(screen_, Media().Box(), overlay_, overlay_at_, &shown);
  return shown;
}

TimerSetting HeadlessHost::GetTimer(TimerId timer) {
  const Timer& t = timers_[Index(timer)];
  return {t.interval, t.enabled, t.next_due > now_ ? static_cast<uint32_t>(t.next_due - now_) : 0};
}

void HeadlessHost::RestoreTimer(TimerId timer, const TimerSetting& setting) {
  Timer& t = timers_[Index(timer)];
  t.interval = setting.interval;
  t.enabled = setting.enabled;
  t.next_due = now_ + setting.due_in;
}

void HeadlessHost::MessageBoxOk(const std::u16string& text) {
  last_message_ = text;
  if (options_.out) {
    *options_.out << "{\"box\":\"ok\",\"text\":" << JsonString(text) << "}\n";
    options_.out->flush();
  }
}

bool HeadlessHost::MessageBoxYesNo(const std::u16string& text) {
  bool yes = true;
  if (pending_answer_) {
    yes = *pending_answer_;
    pending_answer_.reset();
  } else if (next_action_ < options_.actions.size() &&
             options_.actions[next_action_].kind == Action::Kind::kAnswer) {
    yes = options_.actions[next_action_].yes;
    ++next_action_;
    last_action_time_ = now_;
  }
  if (options_.out) {
    *options_.out << "{\"box\":\"yesno\",\"text\":" << JsonString(text) << ",\"answer\":\""
                  << (yes ? "yes" : "no") << "\"}\n";
    options_.out->flush();
  }
  return yes;
}

void HeadlessHost::SetWindowStyle(bool full_screen, bool /*topmost*/) { full_screen_ = full_screen; }

DisplayChange HeadlessHost::ChangeDisplayMode(int, int, int, bool test_only) {
  if (!test_only) display_changed_ = true;
  return DisplayChange::kSuccessful;
}

void HeadlessHost::RestoreDisplayMode() {
  ++display_restore_count_;
  display_changed_ = false;
}

bool HeadlessHost::AcquireInstanceLock(const std::string& game_folder) {
  if (!options_.instance_lock) return true;
  const InstanceLock::Result result = instance_lock_.Take(game_folder);
  if (result == InstanceLock::Result::kUnavailable) {
    Diagnostic("no single-instance lock can be taken (" + instance_lock_.Problem() +
               "); playing on without one");
  }
  return result != InstanceLock::Result::kHeldByOther;
}

void HeadlessHost::Diagnostic(const std::string& text) {
  if (options_.err) Complain(*options_.err, text);
}

}  // namespace tsumugi::headless
