#include "tools/shell/ShellSession.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AudioToolbox/AudioToolbox.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSException.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NetworkWork.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "MessageUI/MFMessageComposeViewController.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "iAd/ADBannerView.h"
#include "tools/shell/ShellScreenshot.h"

namespace {

// Script sessions start here on the manual clock, so that what the app shows of the time is the
// same in every transcript.
constexpr NSTimeInterval kScriptClockStart = kManualClockDefaultStart;  // 2012-03-01 12:00 UTC
// A settle that is still busy after this many passes has work that requeues itself for ever.
constexpr int kMaxSettlePasses = 10000;
// On the real clock the screen is printed once its animations have ended, waiting at most this
// long (seconds): the longest the platform's own transitions take, with room to spare.
constexpr double kLongestAnimationWait = 3.0;

std::string utf8(NSString* s) {
    return s ? s->utf8() : std::string();
}

// The controllers on screen, innermost last.
template <class T>
Ref<T> frontmostController(const std::function<bool(T*)>& accept = nullptr) {
    auto visible = UIViewController::visibleViewControllers();
    for (NSUInteger i = visible->count(); i-- > 0;) {
        if (auto c = as<T>(visible->objectAtIndex(i)); c && (!accept || accept(c))) return c;
    }
    return nullptr;
}

Ref<UIButtonPanelView> frontPanel() {
    auto panels = UIButtonPanelView::shownPanels();
    if (panels->count() == 0) return nullptr;
    return cast<UIButtonPanelView>(panels->lastObject());
}

// The list a finger on the screen scrolls: of the scroll views that lie under the middle of the
// screen (of what the keyboard leaves of it), one a finger there lands in, else one a view over
// that spot covers, the last one met walking the visible tree back to front, preferring one whose
// content does not fit. None when no list lies there: a banner's own page elsewhere on the screen
// is not what a finger drags.
Ref<UIScrollView> frontmostScrollView(UIWindow* window) {
    if (!window) return nullptr;
    Ref<UIScrollView> picks[4];  // landed in and scrolls, landed in, covered and scrolls, covered
    CGRect b = ShellScreen::clearOfKeyboard(window, window->bounds());
    if (CGRectIsNull(b)) return nullptr;
    CGPoint middle = CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b));
    std::function<void(UIView*)> walk = [&](UIView* v) {
        if (v->isHidden() || v->alpha() < 0.01f) return;
        // A list that a view over it covers (a full-screen ad) is out of a finger's reach.
        if (auto sv = as<UIScrollView>(v);
            sv && sv->isScrollEnabled() && ShellScreen::isReachable(sv.get()) &&
            CGRectContainsPoint(sv->bounds(), window->convertPoint(middle, sv.get()))) {
            int rank = (ShellScreen::landsIn(sv.get(), middle) ? 0 : 2) +
                       (sv->maximumContentOffset().y > sv->minimumContentOffset().y ? 0 : 1);
            picks[rank] = sv;
        }
        for (auto& sub : std::vector<Ref<UIView>>(v->subviewList()))
            walk(sub);
    };
    walk(window);
    for (auto& pick : picks)
        if (pick) return pick;
    return nullptr;
}

// Each character of UTF-8 text on its own, as keys are pressed.
std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// Seconds of real time as the steady clock counts them (none for a negative number).
std::chrono::steady_clock::duration realSeconds(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::max(0.0, seconds)));
}

std::string describeException(NSException* e) {
    return "*** Terminating app due to uncaught exception '" + utf8(e->name()) + "', reason: '" +
           utf8(e->reason()) + "'";
}

}  // namespace

// Standard input watched on the main run loop, so that the app's timers and network callbacks
// go on while the person thinks.
struct ShellSession::Input {
    Ref<RunLoopDescriptorSource> source;
    std::string buffer;
    bool eof = false;
    bool arrived = false;
};

ShellSession::ShellSession(ShellOptions options, std::ostream& out, std::istream& in)
    : options_(std::move(options)), out_(out), in_(in) {}

ShellSession::~ShellSession() {
    if (input_ && input_->source) input_->source->invalidate();
}

namespace {
// A location given in the terminal is as good as a phone's satellite fix.
constexpr double kShellLocationAccuracy = 10;
}  // namespace

int ShellSession::run() {
    script_ = !options_.scriptPath.empty();
    std::ifstream file;
    if (script_ && options_.scriptPath != "-") {
        file.open(options_.scriptPath);
        if (!file) {
            out_ << "!! Cannot read the script " << options_.scriptPath << "\n";
            return 2;
        }
        scriptFile_ = &file;
    }
    terminal_ = !script_ && &in_ == &std::cin && isatty(STDIN_FILENO);
    // Transcripts show each command before what it did.
    echo_ = !terminal_;
    std::optional<ManualClockScope> clock;
    if (script_) clock.emplace(kScriptClockStart);

    openLog();
    out_ << "Bazaarnest Mobile in the terminal. \"help\" lists the commands.\n";
    if (script_) {
        out_ << "Script mode: the clock starts at 2012-03-01 12:00:00 UTC and moves only with "
                "\"wait\".\n";
    }
    out_.flush();

    // The platform's weakly linked classes, and their test controls from the environment.
    ADRegisterClasses();
    soundsNoted_ = audio_session::playedSystemSounds().size();
    auto app = UIApplication::sharedApplication();
    // The session runs on the main loop once the app has launched. Should the launch fail, the
    // queued work must not reach a session that is gone.
    auto alive = std::make_shared<ShellSession*>(this);
    std::weak_ptr<ShellSession*> weak = alive;
    // The other app comes to the front: the platform takes this one off the screen as the
    // hand-off happens, until "foreground".
    app->setOpenURLObserver([this](NSURL* url) {
        note("Handed off to another app: " + (url ? utf8(url->absoluteString()) : "(nil)"));
    });
    NSRunLoop::mainRunLoop()->performBlock([weak] {
        if (auto session = weak.lock()) (*session)->drive();
    });
    std::string delegate = options_.delegateClassName;
    try {
        UIApplicationMain(0, nullptr, nullptr,
                          delegate.empty() ? nullptr : NSString::fromUTF8(delegate).get());
    } catch (ExceptionRaised& e) {
        out_ << describeException(e.exception) << "\n";
        status_ = 1;
    }
    alive.reset();
    scriptFile_ = nullptr;
    if (input_ && input_->source) input_->source->invalidate();
    app->resetState();
    // What the ended app left on screen, or had waiting to show, must not show in the next
    // session of this process.
    UIButtonPanelView::dismissAllPanels();
    if (UIKeyboard::isVisible()) UIKeyboard::hide();
    closeLog();
    out_.flush();
    return status_;
}

std::string ShellDefaultLogPath() {
    return utf8(NSHomeDirectory()) + "/Library/Logs/bazaarnest.log";
}

void ShellSession::openLog() {
    logPath_ = options_.logPath.empty() ? ShellDefaultLogPath() : options_.logPath;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(logPath_).parent_path(), error);
    auto file = std::make_shared<std::ofstream>(logPath_, std::ios::trunc);
    if (!*file) {
        // Better on standard error than lost.
        out_ << "!! Cannot write the log " << logPath_
             << ": the app's log goes to standard error\n";
        logPath_.clear();
        return;
    }
    // Lines come from any thread, one at a time under the log's lock. A listener that was there
    // before (a test reading the log) still hears every line.
    previousLogSink_ = NSLogSetSink(nullptr);
    NSLogSetSink([file, listener = previousLogSink_](const std::string& line) {
        *file << line;
        file->flush();
        if (listener) listener(line);
    });
}

void ShellSession::closeLog() {
    if (logPath_.empty()) return;
    NSLogSetSink(previousLogSink_);
    previousLogSink_ = nullptr;
}

void ShellSession::printLog() {
    if (logPath_.empty()) {
        fail("The app's log goes to standard error.");
        return;
    }
    std::ifstream in(logPath_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        // The stamp's time stays; the process and thread, the same on every line, go.
        size_t name = line.find(' ', line.find(' ') + 1);
        size_t end = name == std::string::npos ? name : line.find("] ", name);
        if (end != std::string::npos) line.erase(name + 1, end + 2 - (name + 1));
        lines.push_back(line);
    }
    out_ << ">> The app's log (" << logPath_ << "): "
         << (lines.empty() ? std::string("nothing yet") : std::to_string(lines.size()) + " lines")
         << "\n";
    for (auto& l : lines)
        out_ << "   " << l << "\n";
}

void ShellSession::drive() {
    auto app = UIApplication::sharedApplication();
    try {
        settle();
        noteComposers();
        printScreen();
        std::string line;
        while (readLine(line)) {
            NSAutoreleasePool pool;
            ShellCommand command = parseShellCommand(line);
            if (command.kind == ShellCommandKind::Empty) {
                bool comment = line.find_first_not_of(" \t") != std::string::npos;
                if (comment && echo_) out_ << line << "\n";
                // An empty line at the terminal shows the screen again.
                if (!comment && terminal_) printScreen();
                continue;
            }
            if (echo_) out_ << "> " << line << "\n";
            if (command.kind == ShellCommandKind::Invalid) {
                fail(command.error);
                continue;
            }
            if (!execute(command)) break;
            out_.flush();
        }
    } catch (ExceptionRaised& e) {
        // As on the phone, an exception nobody catches ends the app.
        out_ << describeException(e.exception) << "\n";
        status_ = 1;
    }
    out_.flush();
    if (!app->isTerminating()) app->terminate();
}

bool ShellSession::readLine(std::string& line) {
    if (scriptFile_) return static_cast<bool>(std::getline(*scriptFile_, line));
    // A script read from standard input runs as a file would: one line after the other.
    if (script_ || &in_ != &std::cin) return static_cast<bool>(std::getline(in_, line));
    if (!input_) {
        input_ = std::make_unique<Input>();
        Input* input = input_.get();
        input_->source =
            RunLoopDescriptorSource::sourceWithDescriptor(STDIN_FILENO, POLLIN, [input](short) {
                char buffer[4096];
                ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n > 0) {
                    input->buffer.append(buffer, static_cast<size_t>(n));
                } else {
                    input->eof = true;
                    input->source->setEvents(0);
                }
                input->arrived = true;
            });
        NSRunLoop::mainRunLoop()->addSource(input_->source, NSDefaultRunLoopMode);
    }
    if (terminal_) {
        out_ << "> ";
        out_.flush();
    }
    auto loop = NSRunLoop::mainRunLoop();
    // What the app does by itself until the line comes shares one bound on waiting for the
    // network, so that a reply that never comes holds the person up once, not at every timer.
    NetworkWaitStepEnd stepEnd{this};
    for (;;) {
        size_t newline = input_->buffer.find('\n');
        if (newline != std::string::npos) {
            line = input_->buffer.substr(0, newline);
            input_->buffer.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (input_->eof) {
            if (input_->buffer.empty()) {
                if (terminal_) out_ << "\n";
                return false;
            }
            line = std::move(input_->buffer);
            input_->buffer.clear();
            return true;
        }
        input_->arrived = false;
        auto result = loop->runInMode(NSDefaultRunLoopMode, 1e9, true);
        if (result == NSRunLoop::RunHandledSource && !input_->arrived) {
            // The app did something on its own (a timer, a download): show what changed.
            if (!networkDeadline_) beginNetworkWaitStep();
            settle();
            noteComposers();
            if (!notes_.empty() || ShellScreen::capture().text() != screen_.text()) {
                if (terminal_) out_ << "\n";
                if (notes_.empty()) note("The screen changed.");
                printScreen();
                if (terminal_) {
                    out_ << "> ";
                    out_.flush();
                }
            }
        }
    }
}

void ShellSession::settle() {
    runUntilIdle();
    waitForNetwork();
    waitForAnimations();
}

void ShellSession::waitForAnimations() {
    // A script's clock moves only with "wait": there a screen mid-animation is what the script
    // asked for. On the real clock a person is shown the screen once it has come to rest, when
    // what it shows takes touches.
    if (Clock::isManual() || UIView::runningAnimationCount() == 0) return;
    const auto deadline = std::chrono::steady_clock::now() + realSeconds(kLongestAnimationWait);
    auto loop = NSRunLoop::mainRunLoop();
    while (UIView::runningAnimationCount() > 0) {
        std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
        if (left.count() <= 0) return;
        loop->runInMode(NSDefaultRunLoopMode, std::min(left.count(), 0.05), true);
        runUntilIdle();
        waitForNetwork();
    }
}

void ShellSession::runUntilIdle() {
    auto loop = NSRunLoop::mainRunLoop();
    for (int pass = 0; pass < kMaxSettlePasses; ++pass) {
        UIView::layoutPendingViews();
        auto result = loop->runInMode(NSDefaultRunLoopMode, 0, true);
        if (result != NSRunLoop::RunHandledSource) break;
    }
    UIView::layoutPendingViews();
}

void ShellSession::beginNetworkWaitStep() {
    networkDeadline_ = std::chrono::steady_clock::now() + realSeconds(options_.networkWaitSeconds);
    networkWaitReported_ = false;
    threadWaitLeft_ = options_.threadWaitSeconds;
    threadWaitReported_ = false;
}

std::string ShellSession::secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

bool ShellSession::heldBack() const {
    return options_.heldBack && NetworkWork::inFlight() > 0 &&
           options_.heldBack(NetworkWork::pending());
}

void ShellSession::waitForNetwork() {
    if (NetworkWork::inFlight() == 0) return;
    // Real time: on the manual clock of a script nothing else would ever end the wait.
    using std::chrono::steady_clock;
    const auto deadline = networkDeadline_
                              ? *networkDeadline_
                              : steady_clock::now() + realSeconds(options_.networkWaitSeconds);
    auto loop = NSRunLoop::mainRunLoop();
    while (NetworkWork::inFlight() > 0) {
        auto now = steady_clock::now();
        const bool held = heldBack();
        if (now >= deadline || held) {
            if (networkWaitReported_) return;
            if (networkDeadline_) networkWaitReported_ = true;
            // A screen that loads a hundred pages at once is named by how many and the first.
            auto pending = NetworkWork::pending();
            std::string first = pending.empty() ? std::string() : pending.front();
            std::string count =
                std::to_string(pending.size()) + (pending.size() == 1 ? " request" : " requests");
            // Held on purpose, nothing was waited for: the line says what holds it instead.
            if (held)
                note("The stand-in holds back " + count +
                     (pending.size() > 1 ? ", the first " : ": ") + first);
            else
                note("Still waiting for the network after " +
                     secondsText(options_.networkWaitSeconds) +
                     " s: " + (pending.size() > 1 ? count + ", the first " + first : first));
            return;
        }
        // Replies arrive as performs and wake the loop; short slices keep the real clock's
        // timers firing on time meanwhile.
        std::chrono::duration<double> left = deadline - now;
        loop->waitForWork(NSDefaultRunLoopMode, std::min(left.count(), 0.05));
        runUntilIdle();
    }
}

void ShellSession::advance(double seconds) {
    auto loop = NSRunLoop::mainRunLoop();
    if (Clock::isManual()) {
        // Stop at every timer on the way, of any thread, so that each fires at its own time,
        // after what the threads and the network were given before it has come back (an ad
        // client's workers, a reply a second's timer waits for): a script sees what a person
        // would, without test hooks.
        const NSTimeInterval end = Clock::now() + seconds;
        for (int step = 0; step < 1000000; ++step) {
            NSTimeInterval next = settleThreads();
            if (next > end) break;
            Clock::setNow(std::max(Clock::now(), next));
        }
        Clock::setNow(end);
        settleThreads();
        settle();
        return;
    }
    const NSTimeInterval end = Clock::now() + seconds;
    for (NSTimeInterval now = Clock::now(); now < end; now = Clock::now())
        loop->runInMode(NSDefaultRunLoopMode, end - now, false);
    settle();
}

NSTimeInterval ShellSession::settleThreads() {
    using std::chrono::steady_clock;
    auto loop = NSRunLoop::mainRunLoop();
    // The network within the step's bound, as the screen waits for it; the threads' own work
    // within a budget of its own for the step, spent only while some thread works, so that
    // neither a reply held back nor a thread that never rests holds every move of the clock.
    const auto networkDeadline =
        networkDeadline_ ? *networkDeadline_
                         : steady_clock::now() + realSeconds(options_.networkWaitSeconds);
    for (;;) {
        const auto start = steady_clock::now();
        runUntilIdle();
        NSTimeInterval next = 0;
        bool rest = NSRunLoop::threadsAtRest(loop.get(), NSDefaultRunLoopMode, &next);
        if (rest &&
            (NetworkWork::inFlight() == 0 || steady_clock::now() >= networkDeadline || heldBack()))
            return next;
        if (!rest && threadWaitLeft_ <= 0) {
            // A thread that does not rest: the main loop's own timers still come in turn. What
            // it did not finish in time may show later than a faster machine shows it: said, so
            // that a transcript that differs tells why.
            if (!threadWaitReported_) {
                threadWaitReported_ = true;
                note("Still waiting for the app's threads after " +
                     secondsText(options_.threadWaitSeconds) + " s; the clock moves on");
            }
            auto date = loop->limitDateForMode(NSDefaultRunLoopMode);
            return date ? date->timeIntervalSinceReferenceDate()
                        : std::numeric_limits<NSTimeInterval>::infinity();
        }
        loop->waitForWork(NSDefaultRunLoopMode, 0.001);
        if (!rest)
            threadWaitLeft_ -= std::chrono::duration<double>(steady_clock::now() - start).count();
    }
}

void ShellSession::note(const std::string& line) {
    notes_.push_back(line);
}

void ShellSession::noteSounds() {
    auto played = audio_session::playedSystemSounds();
    // A log that was cleared starts over.
    if (played.size() < soundsNoted_) soundsNoted_ = 0;
    for (size_t i = soundsNoted_; i < played.size(); ++i) {
        note(played[i] == kSystemSoundID_Vibrate ? std::string("vibrate")
                                                 : "system sound " + std::to_string(played[i]));
    }
    soundsNoted_ = played.size();
}

void ShellSession::noteComposers() {
    auto recipientsOf = [](NSArray* recipients) {
        std::string to;
        for (NSUInteger r = 0; recipients && r < recipients->count(); ++r) {
            if (!to.empty()) to += ", ";
            to += utf8(as<NSString>(recipients->objectAtIndex(r)));
        }
        return to.empty() ? std::string("nobody yet") : to;
    };
    std::vector<ShownComposer> shown;
    auto visible = UIViewController::visibleViewControllers();
    for (NSUInteger i = 0; i < visible->count(); ++i) {
        auto c = cast<UIViewController>(visible->objectAtIndex(i));
        auto mail = as<MFMailComposeViewController>(c);
        auto message = as<MFMessageComposeViewController>(c);
        if (!mail && !message) continue;
        shown.push_back(ShownComposer{Weak<UIViewController>(c.get()), mail != nullptr});
        bool known = std::any_of(composersShown_.begin(), composersShown_.end(),
                                 [&](ShownComposer& s) { return s.composer.is(c.get()); });
        if (known) continue;
        if (mail) {
            note("Mail composer opened (to: " + recipientsOf(mail->toRecipients()) +
                 "; subject: " + utf8(mail->subject()) + "): \"send\" or \"cancel\" it.");
        } else {
            note("Message composer opened (to: " + recipientsOf(message->recipients()) +
                 "): \"send\" or \"cancel\" it.");
        }
    }
    // The app's delegate closes the composers; say so when it has.
    for (auto& before : composersShown_) {
        auto c = before.composer.lock();
        bool still = c && std::any_of(shown.begin(), shown.end(),
                                      [&](ShownComposer& s) { return s.composer.is(c.get()); });
        if (!still) note(before.mail ? "Mail composer closed." : "Message composer closed.");
    }
    composersShown_ = std::move(shown);
}

void ShellSession::printScreen() {
    for (auto& n : notes_)
        out_ << ">> " << n << "\n";
    notes_.clear();
    screen_ = ShellScreen::capture();
    out_ << screen_.text();
    out_.flush();
}

void ShellSession::fail(const std::string& message) {
    out_ << "!! " << message << "\n";
}

namespace {
// Whether the command is a finger or key on the app's screen (or the phone's shake): none reaches
// an app in the background.
bool touchesTheApp(ShellCommandKind kind) {
    using K = ShellCommandKind;
    switch (kind) {
        case K::Tap:
        case K::Type:
        case K::Backspace:
        case K::Return:
        case K::Back:
        case K::Tab:
        case K::Scroll:
        case K::Pull:
        case K::Delete:
        case K::Choose:
        case K::Pick:
        case K::Send:
        case K::Cancel:
        case K::Shake:
        case K::Hold:
        case K::Drag:
        case K::DoubleTap:
        case K::Pinch:
        case K::Swipe:
            return true;
        default:
            return false;
    }
}
}  // namespace

bool ShellSession::execute(const ShellCommand& command) {
    using K = ShellCommandKind;
    auto app = UIApplication::sharedApplication();
    // One bound for the whole command, however many times it settles.
    beginNetworkWaitStep();
    NetworkWaitStepEnd stepEnd{this};
    bool acted = true;
    if (app->applicationState() == UIApplicationStateBackground && touchesTheApp(command.kind)) {
        fail(std::string(kInBackground));
        return true;
    }
    if (takeDeleteAway(command)) return settleAndPrint();
    switch (command.kind) {
        case K::Empty:
            return true;
        case K::Invalid:
            fail(command.error);
            return true;
        case K::Help:
            out_ << shellHelpText();
            return true;
        case K::Log:
            printLog();
            return true;
        case K::Quit:
            return false;
        case K::Screenshot:
            out_ << ShellTakeScreenshot(command.text);
            return true;
        case K::Tap: {
            const ShellElement* element = findElement(command);
            acted = element && tapElement(*element);
            break;
        }
        case K::Type:
            acted = typeText(command.text);
            break;
        case K::Return:
            acted = pressReturn();
            break;
        case K::Backspace:
            acted = backspace(command.number.value_or(1));
            break;
        case K::Pull:
            acted = pull(command);
            break;
        case K::Rotate:
            acted = rotate(command.text);
            break;
        case K::Back:
            acted = goBack();
            break;
        case K::Tab:
            acted = selectTab(command);
            break;
        case K::Scroll:
            acted = scroll(command);
            break;
        case K::Delete:
            acted = swipeToDelete(command);
            break;
        case K::Choose:
            acted = choose(command);
            break;
        case K::Pick:
            acted = pick(command);
            break;
        case K::Send:
            acted = finishComposer(true);
            break;
        case K::Cancel:
            acted = finishComposer(false);
            break;
        case K::Shake:
            app->performShake();
            break;
        case K::MemoryWarning:
            app->performMemoryWarning();
            break;
        case K::Background:
            if (app->applicationState() == UIApplicationStateBackground) {
                fail("The app is already in the background.");
                return true;
            }
            app->performEnterBackground();
            break;
        case K::Foreground:
            if (app->applicationState() != UIApplicationStateBackground) {
                fail("The app is not in the background.");
                return true;
            }
            app->performEnterForeground();
            break;
        case K::Swipe:
            acted = swipe(command);
            break;
        case K::DoubleTap:
            acted = doubleTap(command);
            break;
        case K::Hold:
        case K::Drag:
        case K::Pinch:
            acted = gesture(command);
            break;
        case K::Wait:
            advance(command.seconds);
            break;
        case K::Tilt:
            UIAccelerometer::sharedAccelerometer()->injectSample(
                command.values[0], command.values[1], command.values[2]);
            break;
        case K::Location: {
            auto location =
                make<CLLocation>(&CLLocation::initWithCoordinate,
                                 CLLocationCoordinate2DMake(command.values[0], command.values[1]),
                                 0.0, kShellLocationAccuracy, -1.0, NSDate::date());
            location_services::setCurrentLocation(location);
            break;
        }
    }
    if (!acted) return true;
    return settleAndPrint();
}

bool ShellSession::settleAndPrint() {
    settle();
    noteSounds();
    noteComposers();
    printScreen();
    return !UIApplication::sharedApplication()->isTerminating();
}

// ---- the commands ----------------------------------------------------------------------------

const ShellElement* ShellSession::findElement(const ShellCommand& command) {
    const ShellElement* element = nullptr;
    if (command.number) {
        element = screen_.elementNumbered(*command.number);
        if (!element) {
            fail("There is no [" + std::to_string(*command.number) + "] on the screen.");
            return nullptr;
        }
    } else {
        element = screen_.elementLabelled(command.text);
        if (!element) {
            fail("Nothing labelled \"" + command.text + "\" can be tapped on the screen.");
            return nullptr;
        }
    }
    if (!ShellScreen::isStillShown(*element)) {
        fail("[" + std::to_string(element->number) + "] is no longer on the screen.");
        return nullptr;
    }
    return element;
}

namespace {
// Where a finger lands on an element, in its window: the middle of the part of it that a finger
// reaches (the segment, the bar's button, the tab, or the whole view; what a bar covers of a row
// left out), as `tap` reaches it.
std::optional<CGPoint> aimAt(const ShellElement& element) {
    CGRect r = ShellScreen::reachableArea(element);
    if (CGRectIsNull(r)) return std::nullopt;
    return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
}
}  // namespace

bool ShellSession::gesture(const ShellCommand& command) {
    using K = ShellCommandKind;
    const ShellElement* element = findElement(command);
    if (!element) return false;
    CGRect area = ShellScreen::reachableArea(*element);
    auto window = element->view.lock() ? element->view.lock()->window() : nullptr;
    if (CGRectIsNull(area) || !window) {
        fail("[" + std::to_string(element->number) + "] cannot be touched.");
        return false;
    }
    ShellElement aimed = *element;
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    CGPoint p = CGPointMake(CGRectGetMidX(area), CGRectGetMidY(area));
    switch (command.kind) {
        case K::Hold: {
            auto f = fingers->down(p);
            advance(command.seconds);
            fingers->up(f);
            break;
        }
        case K::Pinch: {
            // Fingers either side of the middle, 40 points off or within the part a finger
            // reaches when it is narrower, moved apart by the factor in steps.
            CGFloat half = std::min<CGFloat>(40, area.size.width / 5);
            CGFloat factor = static_cast<CGFloat>(command.values[0]);
            auto f = fingers->down({CGPointMake(p.x - half, p.y), CGPointMake(p.x + half, p.y)});
            for (int i = 0; i <= 10; ++i) {
                CGFloat h = half * (1 + (factor - 1) * static_cast<CGFloat>(i) / 10);
                fingers->move(
                    {{f[0], CGPointMake(p.x - h, p.y)}, {f[1], CGPointMake(p.x + h, p.y)}});
                runUntilIdle();
            }
            fingers->up(f[0]);
            fingers->up(f[1]);
            break;
        }
        case K::Drag: {
            CGPoint to = p;
            if (command.target) {
                const ShellElement* target = screen_.elementNumbered(*command.target);
                auto middle = target ? aimAt(*target) : std::nullopt;
                if (!middle) {
                    fail("There is no [" + std::to_string(*command.target) + "] on the screen.");
                    return false;
                }
                to = *middle;
            } else {
                to = CGPointMake(p.x + static_cast<CGFloat>(command.values[0]),
                                 p.y + static_cast<CGFloat>(command.values[1]));
            }
            auto f = fingers->down(p);
            runUntilIdle();
            for (int i = 1; i <= 8; ++i) {
                CGFloat t = static_cast<CGFloat>(i) / 8;
                fingers->move(f, CGPointMake(p.x + (to.x - p.x) * t, p.y + (to.y - p.y) * t));
                runUntilIdle();
            }
            if (command.seconds > 0) {
                // Resting there, then a nudge once what the rest started has settled.
                advance(command.seconds);
                advance(0.35);
                fingers->move(f, CGPointMake(to.x + 1, to.y));
                runUntilIdle();
            }
            fingers->up(f);
            break;
        }
        default:
            break;
    }
    settle();
    // A finger that stayed put on a page's field focused it, as a tap does: typing goes there.
    if (aimed.kind == ShellElement::WebElement) {
        auto web = aimed.webView.lock();
        webFocus_ = web && aimed.takesText && web->focusedElementIndex() == aimed.webIndex
                        ? aimed
                        : ShellElement();
    }
    return true;
}

bool ShellSession::doubleTap(const ShellCommand& command) {
    const ShellElement* found = findElement(command);
    if (!found) return false;
    ShellElement element = *found;
    auto at = aimAt(element);
    auto window = element.view.lock() ? element.view.lock()->window() : nullptr;
    if (!at || !window) {
        fail("[" + std::to_string(element.number) + "] cannot be touched.");
        return false;
    }
    // A view touched where a finger lands counts the taps of one finger there (a photo page
    // zooms); anything else takes each tap as `tap` gives it, a tenth of a second apart.
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    if (!element.touchedAtMiddle) {
        tapElement(element);
    } else {
        fingers->tap(*at);
    }
    advance(0.1);
    // The second tap reaches nothing once the first has taken the element away (closed, hidden,
    // sliding off, replaced in its view, or the app handed off to another and off the screen):
    // what the first uncovered there was never under the finger.
    auto app = UIApplication::sharedApplication();
    auto view = element.view.lock();
    if (app->applicationState() == UIApplicationStateBackground ||
        !ShellScreen::isStillThere(element))
        return true;
    // It lands where the first did: on the element while nothing has come over that point, else
    // on what has (an alert the first raised, its button if one lies there). On a page it is a
    // finger there, not the element's number, which a page changed in place gives another.
    if (!ShellScreen::landsIn(view.get(), *at)) {
        auto [front, there] = ShellScreen::windowUnderFinger(window.get(), *at);
        UITouchScript::scriptWithWindow(front.get())->tap(there);
    } else if (element.touchedAtMiddle || element.kind == ShellElement::WebElement) {
        fingers->tap(*at);
    } else if (element.tap) {
        element.tap();
    }
    settle();
    return true;
}

bool ShellSession::swipe(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto window = UIApplication::sharedApplication()->keyWindow();
    if (!window) return false;
    UIView::layoutPendingViews();
    CGRect b = window->bounds();
    CGPoint middle = CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b));
    // A paged scroller under the middle turns by a drag of its width.
    Ref<UIScrollView> paged;
    for (auto v = window->hitTest(middle, UIEvent::touchEvent({})); v; v = v->superview())
        if (auto sv = as<UIScrollView>(v); sv && sv->isPagingEnabled()) {
            paged = sv;
            break;
        }
    for (int i = 0; i < command.number.value_or(1); ++i) {
        if (paged) {
            CGFloat width = paged->bounds().size.width;
            paged->dragBy(CGPointMake(command.direction * width, 0), true);
            settle();
            continue;
        }
        // A finger across the middle, as a pager takes it; then its page settles.
        auto fingers = UITouchScript::scriptWithWindow(window.get());
        CGFloat from = middle.x + command.direction * 100, to = middle.x - command.direction * 100;
        auto f = fingers->down(CGPointMake(from, middle.y));
        if (f < 0) return false;
        for (int step = 1; step <= 5; ++step)
            fingers->move(f, CGPointMake(from + (to - from) * step / 5, middle.y));
        fingers->up(f);
        advance(0.5);
    }
    return true;
}

bool ShellSession::takeDeleteAway(const ShellCommand& command) {
    using K = ShellCommandKind;
    Ref<UITableView> showing;
    for (auto& e : screen_.elements()) {
        auto table = e.table.lock();
        if (table && table->indexPathShowingDeleteConfirmation()) {
            showing = table;
            break;
        }
    }
    if (!showing) return false;
    switch (command.kind) {
        case K::Tap:
        case K::DoubleTap:
        case K::Hold:
        case K::Drag:
        case K::Pinch:
        case K::Delete:
        case K::Tab: {
            // Named by its number or label: what names nothing it can act on fails as it would
            // anyway, and a finger on the Delete itself works it, unless it slides off across
            // the list (farther than a tap's reach: a drag onto itself stays on it).
            auto aimed = command.number ? screen_.elementNumbered(*command.number)
                                        : screen_.elementLabelled(command.text);
            if (!aimed) return false;
            CGFloat travel = 0;
            if (command.kind == K::Drag && command.target) {
                const ShellElement* target = screen_.elementNumbered(*command.target);
                auto from = aimAt(*aimed), to = target ? aimAt(*target) : std::nullopt;
                if (!from || !to) return false;
                travel = std::hypot(to->x - from->x, to->y - from->y);
            } else if (command.kind == K::Drag) {
                travel = std::hypot(command.values[0], command.values[1]);
            }
            if (command.kind == K::Delete
                    ? aimed->kind != ShellElement::Row
                    : ShellScreen::isRowDelete(*aimed) && travel <= UITouchTapSlop)
                return false;
            break;
        }
        case K::Back:
            if (std::none_of(screen_.elements().begin(), screen_.elements().end(),
                             [](auto& e) { return e.kind == ShellElement::BackButton; }))
                return false;
            break;
        case K::Type:
        case K::Backspace:
        case K::Return:
            // Keys reach the app only where something has the focus.
            if (!dynamic_cast<UIKeyInput*>(UIResponder::currentFirstResponder().get()) &&
                !webFocus_.webView.lock())
                return false;
            break;
        case K::Scroll:
        case K::Pull:
        case K::Swipe:
            break;
        default:  // no finger on the app's screen: a shake, an alert's or a composer's button
            return false;
    }
    showing->cancelDeleteConfirmation();
    note("The Delete button went away; nothing else was tapped.");
    return true;
}

bool ShellSession::tapElement(const ShellElement& element) {
    // Something laid over it since the screen was printed takes the touch instead.
    bool changed = ShellScreen::isReachable(element) && element.tap && element.tap();
    if (element.kind == ShellElement::WebElement) {
        webFocus_ = element.takesText ? element : ShellElement();
    } else {
        webFocus_ = ShellElement();
    }
    if (!changed) note("Nothing happened.");
    return true;
}

bool ShellSession::typeText(const std::string& text) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto responder = UIResponder::currentFirstResponder();
    if (auto input = dynamic_cast<UIKeyInput*>(responder.get())) {
        Ref<UIResponder> keep = responder;
        for (auto& c : characters(text)) {
            // A keystroke can end the editing (a delegate that resigns the field).
            if (!responder->isFirstResponder()) break;
            input->insertText(NSString::fromUTF8(c));
        }
        return true;
    }
    if (auto web = webFocus_.webView.lock(); web && ShellScreen::isStillShown(webFocus_)) {
        if (web->enterTextInElementAtIndex(webFocus_.webIndex, NSString::fromUTF8(text)))
            return true;
    }
    fail("Nothing has the focus: tap a text field first.");
    return false;
}

bool ShellSession::pressReturn() {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto responder = UIResponder::currentFirstResponder();
    if (auto input = dynamic_cast<UIKeyInput*>(responder.get())) {
        Ref<UIResponder> keep = responder;
        input->insertText(NS("\n"));
        return true;
    }
    fail("Nothing has the focus: tap a text field first.");
    return false;
}

bool ShellSession::goBack() {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    // A screen with a bar of its own (the pickers) has a back button of its own, which no
    // navigation controller answers for: the first back button on screen is the one a person
    // means.
    auto shown = ShellScreen::capture();
    for (auto& e : shown.elements()) {
        if (e.kind != ShellElement::BackButton) continue;
        auto bar = as<UINavigationBar>(e.view.lock());
        if (!bar || dynamic_cast<UINavigationController*>(bar->delegate().get())) break;
        if (!(e.tap && e.tap())) note("Nothing happened.");
        return true;
    }
    // A stack whose bar (or, with the bar hidden, whose screen) a view covers, as a full-screen
    // ad or overlay does, has no back button a finger reaches.
    // A bar that shows no back button (a screen that hides it) has none to press either.
    auto nav = frontmostController<UINavigationController>([](UINavigationController* n) {
        if (n->viewControllers()->count() < 2) return false;
        if (n->isNavigationBarHidden()) return ShellScreen::isReachable(n->view().get());
        auto bar = n->navigationBar();
        auto button = bar->backButtonView();
        if (!bar->backButtonTitle()) return false;
        return ShellScreen::isReachable(button && button->isDescendantOfView(bar.get())
                                            ? button.get()
                                            : static_cast<UIView*>(bar.get()));
    });
    if (!nav) {
        fail("There is no back button on the screen.");
        return false;
    }
    if (!nav->goBack()) note("Nothing happened.");
    return true;
}

bool ShellSession::selectTab(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    // A tab goes by the number the screen printed for it, as every control does, or by its
    // title; only a tab that a finger on the screen reaches takes it (not one under a view that
    // covers the bar).
    const ShellElement* tab = nullptr;
    if (command.number) {
        tab = findElement(command);
        if (!tab) return false;
        if (tab->kind != ShellElement::Tab) {
            fail("[" + std::to_string(*command.number) + "] is not a tab.");
            return false;
        }
    } else {
        auto fold = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        bool anyTab = false;
        for (int pass = 0; pass < 2 && !tab; ++pass) {
            for (auto& e : screen_.elements()) {
                if (e.kind != ShellElement::Tab) continue;
                anyTab = true;
                if (pass == 0 ? e.label == command.text : fold(e.label) == fold(command.text)) {
                    tab = &e;
                    break;
                }
            }
        }
        if (!anyTab) {
            fail("No tab on the screen takes a touch.");
            return false;
        }
        if (!tab) {
            fail("There is no tab titled \"" + command.text + "\".");
            return false;
        }
        if (!ShellScreen::isStillShown(*tab)) {
            fail("[" + std::to_string(tab->number) + "] is no longer on the screen.");
            return false;
        }
    }
    return tapElement(*tab);
}

bool ShellSession::scroll(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto sv = frontmostScrollView(UIApplication::sharedApplication()->keyWindow());
    if (!sv) {
        fail("There is nothing to scroll on the screen.");
        return false;
    }
    CGFloat current = sv->contentOffset().y;
    if (command.direction == 0) {
        if (current == sv->minimumContentOffset().y) {
            note("Already at the top.");
            return true;
        }
        sv->scrollToTop();
        return true;
    }
    CGFloat target = current;
    auto table = as<UITableView>(sv);
    if (command.number && table) {
        // Rows in order across the sections: the row n on from the first one shown (even
        // half hidden) comes to the top.
        std::vector<Ref<NSIndexPath>> rows;
        for (NSInteger s = 0; s < table->numberOfSections(); ++s)
            for (NSInteger r = 0; r < table->numberOfRowsInSection(s); ++r)
                rows.push_back(NSIndexPath::indexPathForRow(r, s));
        auto visible = table->indexPathsForVisibleRows();
        if (!rows.empty() && visible->count() > 0) {
            auto first = cast<NSIndexPath>(visible->objectAtIndex(0));
            long at = 0;
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i]->section() == first->section() && rows[i]->row() == first->row())
                    at = static_cast<long>(i);
            }
            long to = std::clamp<long>(at + command.direction * *command.number, 0,
                                       static_cast<long>(rows.size()) - 1);
            target = table->rectForRowAtIndexPath(rows[static_cast<size_t>(to)]).origin.y;
        }
    } else if (command.number) {
        target = current + static_cast<CGFloat>(command.direction * *command.number) * 44;
    } else {
        UIEdgeInsets inset = sv->contentInset();
        CGFloat page = sv->bounds().size.height - inset.top - inset.bottom;
        target = current + static_cast<CGFloat>(command.direction) * std::max<CGFloat>(page, 1);
    }
    target = std::clamp(target, sv->minimumContentOffset().y,
                        std::max(sv->minimumContentOffset().y, sv->maximumContentOffset().y));
    if (target == current) {
        note(command.direction > 0 ? "Already at the bottom." : "Already at the top.");
        return true;
    }
    sv->dragBy(CGPointMake(0, target - current), false);
    return true;
}

bool ShellSession::pull(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto sv = frontmostScrollView(UIApplication::sharedApplication()->keyWindow());
    if (!sv) {
        fail("There is nothing to pull on the screen.");
        return false;
    }
    Ref<UIScrollView> keep = sv;
    CGFloat top = sv->minimumContentOffset().y;
    sv->beginDragging();
    sv->dragTo(CGPointMake(sv->contentOffset().x, top - static_cast<CGFloat>(*command.number)));
    // The screen while the finger holds the list down, then as it is let go.
    printScreen();
    sv->endDragging(false);
    printScreen();
    return true;
}

bool ShellSession::backspace(int times) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto responder = UIResponder::currentFirstResponder();
    auto input = dynamic_cast<UIKeyInput*>(responder.get());
    if (!input) {
        fail("Nothing has the focus: tap a text field first.");
        return false;
    }
    Ref<UIResponder> keep = responder;
    for (int i = 0; i < times; ++i) {
        // A keystroke can move the focus (a text editor turning back into one line).
        auto now = UIResponder::currentFirstResponder();
        auto key = dynamic_cast<UIKeyInput*>(now.get());
        if (!key) break;
        key->deleteBackward();
        // Changes the inputs handle after a keystroke come before the next one.
        advance(0);
    }
    return true;
}

bool ShellSession::rotate(const std::string& orientation) {
    UIDeviceOrientation to = orientation == "portrait"         ? UIDeviceOrientationPortrait
                             : orientation == "landscape-left" ? UIDeviceOrientationLandscapeLeft
                                                               : UIDeviceOrientationLandscapeRight;
    auto device = UIDevice::currentDevice();
    UIApplication* app = UIApplication::sharedApplication().get();
    auto before = app->statusBarOrientation();
    // A window may turn its own content (a full-screen ad) where the app does not turn.
    auto turns = [app] {
        std::vector<CGAffineTransform> all;
        auto windows = app->windows();
        for (NSUInteger i = 0; windows && i < windows->count(); ++i) {
            auto window = as<UIWindow>(windows->objectAtIndex(i));
            auto subviews = window && !window->isHidden() ? window->subviews() : nullptr;
            for (NSUInteger j = 0; subviews && j < subviews->count(); ++j)
                all.push_back(as<UIView>(subviews->objectAtIndex(j))->transform());
        }
        return all;
    };
    auto turnsBefore = turns();
    // The interface follows the device only while its orientation is being reported.
    device->beginGeneratingDeviceOrientationNotifications();
    device->setOrientation(to);
    UIViewController::attemptRotationToDeviceOrientation();
    device->endGeneratingDeviceOrientationNotifications();
    if (app->statusBarOrientation() != before) return true;
    auto turnsAfter = turns();
    bool contentTurned = turnsAfter.size() == turnsBefore.size() &&
                         !std::equal(turnsAfter.begin(), turnsAfter.end(), turnsBefore.begin(),
                                     [](const CGAffineTransform& a, const CGAffineTransform& b) {
                                         return CGAffineTransformEqualToTransform(a, b);
                                     });
    note(contentTurned ? "The app did not turn; the view on top turned with the phone."
                       : "The screen did not turn.");
    return true;
}

bool ShellSession::swipeToDelete(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    const ShellElement* element = findElement(command);
    if (!element) return false;
    auto table = element->table.lock();
    if (element->kind != ShellElement::Row || !table) {
        fail("[" + std::to_string(element->number) + "] is not a row of a list.");
        return false;
    }
    if (!table->swipeToDeleteRowAtIndexPath(element->indexPath)) {
        fail("Row [" + std::to_string(element->number) + "] cannot be deleted.");
        return false;
    }
    return true;
}

bool ShellSession::choose(const ShellCommand& command) {
    auto panel = frontPanel();
    if (!panel) {
        fail("No alert or action sheet is showing.");
        return false;
    }
    NSInteger index = -1;
    if (command.number) {
        if (*command.number <= panel->numberOfButtons()) index = *command.number - 1;
    } else {
        auto fold = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        for (int pass = 0; pass < 2 && index < 0; ++pass) {
            for (NSInteger i = 0; i < panel->numberOfButtons(); ++i) {
                std::string title = utf8(panel->buttonTitleAtIndex(i));
                if (pass == 0 ? title == command.text : fold(title) == fold(command.text)) {
                    index = i;
                    break;
                }
            }
        }
    }
    if (index < 0) {
        fail(command.number ? "The " + std::string(is<UIActionSheet>(panel) ? "sheet" : "alert") +
                                  " has no button " + std::to_string(*command.number) + "."
                            : "The " + std::string(is<UIActionSheet>(panel) ? "sheet" : "alert") +
                                  " has no button \"" + command.text + "\".");
        return false;
    }
    panel->clickButtonAtIndex(index);
    return true;
}

bool ShellSession::pick(const ShellCommand& command) {
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    auto picker = frontmostController<UIImagePickerController>();
    if (!picker) {
        fail("The photo picker is not showing.");
        return false;
    }
    NSUInteger count = picker->photoPaths()->count();
    NSUInteger index = static_cast<NSUInteger>(*command.number - 1);
    if (index >= count) {
        fail("There is no photo " + std::to_string(*command.number) +
             " to pick (the picker offers " + std::to_string(count) + ").");
        return false;
    }
    if (!picker->pickPhotoAtIndex(index)) {
        fail("Photo " + std::to_string(*command.number) + " cannot be read as an image.");
        return false;
    }
    return true;
}

bool ShellSession::finishComposer(bool send) {
    auto composer = frontmostController<UIViewController>([](UIViewController* c) {
        return is<MFMailComposeViewController>(c) || is<MFMessageComposeViewController>(c);
    });
    if (!send && !composer) {
        // Cancel also closes the photo picker, or an alert or sheet by its cancel button.
        if (auto picker = frontmostController<UIImagePickerController>()) {
            picker->cancel();
            return true;
        }
        if (auto panel = frontPanel(); panel && panel->cancelButtonIndex() >= 0) {
            panel->clickButtonAtIndex(panel->cancelButtonIndex());
            return true;
        }
        fail("There is nothing to cancel.");
        return false;
    }
    if (!composer) {
        fail("No mail or message composer is showing.");
        return false;
    }
    if (frontPanel()) {
        fail("An alert or action sheet is showing: choose one of its buttons first.");
        return false;
    }
    if (auto mail = as<MFMailComposeViewController>(composer)) {
        if (!send) {
            mail->cancel();
            note("Mail cancelled.");
        } else if (auto path = mail->send()) {
            note("Mail sent: written to the outbox as " + utf8(path->lastPathComponent()) + ".");
        } else {
            note("The mail could not be sent.");
        }
    } else if (auto message = as<MFMessageComposeViewController>(composer)) {
        if (!send) {
            message->cancel();
            note("Message cancelled.");
        } else if (auto path = message->send()) {
            note("Message sent: written to the outbox as " + utf8(path->lastPathComponent()) + ".");
        } else {
            note("The message could not be sent.");
        }
    }
    return true;
}

// ---- the program ---------------------------------------------------------------------------

int ShellMain(int argc, char** argv, const char* defaultDelegate, std::ostream& out,
              std::istream& in) {
    ShellOptions options;
    options.delegateClassName = defaultDelegate ? defaultDelegate : "";
    const char* usage =
        "Usage: bazaarnest [--script FILE] [--delegate CLASS] [--log FILE]\n"
        "  Runs the app in the terminal: it prints each screen, with what can be touched\n"
        "  numbered, and reads commands from the terminal.\n"
        "  --script FILE     replays the commands of FILE (\"-\": standard input) on a manual\n"
        "                    clock and prints the transcript\n"
        "  --delegate CLASS  the application delegate to start\n"
        "  --log FILE        where the app's log goes (default: Library/Logs/bazaarnest.log in\n"
        "                    the app's home folder); \"log\" prints it\n\n";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name, std::string& into) {
            std::string prefix = std::string(name) + "=";
            if (arg == name) {
                if (i + 1 >= argc) return false;
                into = argv[++i];
                return true;
            }
            if (arg.rfind(prefix, 0) == 0) {
                into = arg.substr(prefix.size());
                return true;
            }
            return false;
        };
        if (arg == "--help" || arg == "-h") {
            out << usage << shellHelpText();
            return 0;
        }
        if (value("--script", options.scriptPath) ||
            value("--delegate", options.delegateClassName) || value("--log", options.logPath))
            continue;
        std::cerr << "bazaarnest: unknown option " << arg << "\n" << usage;
        return 2;
    }
    ShellSession session(options, out, in);
    return session.run();
}
