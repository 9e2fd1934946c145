// The shell's session: starts the app through UIApplicationMain, then, on the main run loop,
// reads commands one by one, performs each as a person would, lets the loop settle and prints
// the screen. Interactive sessions read a terminal on the real clock; script sessions read a
// file on the manual clock from a fixed start, so that their transcripts are the same each run.
// Settling includes waiting for network work in flight (Foundation/NetworkWork.h), so that a
// screen is printed once the replies it waits for have been delivered.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/shell/ShellCommand.h"
#include "tools/shell/ShellScreen.h"

class UIViewController;

struct ShellOptions {
    // The script to replay ("-" for standard input); empty for an interactive session.
    std::string scriptPath;
    // The application delegate's class; empty when the main interface file supplies it.
    std::string delegateClassName;
    // The longest a command (or the launch, or a change the app makes by itself) waits for
    // network work in flight, in real seconds whatever the clock; then a line says what is
    // still pending and the session goes on.
    double networkWaitSeconds = 10.0;
    // On the manual clock, the real seconds a step gives the app's other threads to come to rest
    // before the clock moves on without them (a line says so too). A bound of its own: one that
    // only has to outlast a reply held back may be short, this one never should.
    double threadWaitSeconds = 10.0;
    // For a test whose stand-in server holds a reply back: given what is in flight (as the
    // "still waiting" line names it), true when all of it is held there for now, so that the
    // wait ends at once, with its line, rather than at its bound, which then need only be a
    // generous give-up.
    std::function<bool(const std::vector<std::string>& pending)> heldBack;
    // Where the app's log goes (NSLog), so that it stays out of the screen's text; empty: the
    // default, bazaarnest.log in the app's Library/Logs folder.
    std::string logPath;
};

class ShellSession {
public:
    ShellSession(ShellOptions options, std::ostream& out, std::istream& in);
    ~ShellSession();
    ShellSession(const ShellSession&) = delete;
    ShellSession& operator=(const ShellSession&) = delete;

    // Runs the whole session: UIApplicationMain with the delegate, the commands, then the app's
    // termination. Returns the exit status: 0, 1 when the app raised an uncaught exception, 2
    // when the script cannot be read.
    int run();

    // ---- the steps of run() (tests drive them directly) --------------------------------------
    // Runs the main loop until nothing is left to do now: no performs or sources pending, the
    // timers due now fired, layout done, and no network work in flight (waited for in real
    // time, at most networkWaitSeconds per command); on the real clock also until the
    // animations under way have ended.
    void settle();
    // Performs one command; false when it ends the session.
    bool execute(const ShellCommand& command);
    // Prints what happened since the last print (hand-offs, composers) and the screen.
    void printScreen();
    // The screen as last printed (the numbers that commands refer to).
    const ShellScreen& screen() const { return screen_; }

private:
    bool readLine(std::string& line);
    void drive();
    void runUntilIdle();
    void waitForNetwork();
    // Whether network work is in flight and the options' heldBack says all of it is held.
    bool heldBack() const;
    // On the real clock: runs the main loop until the animations committed have ended.
    void waitForAnimations();
    // Starts a step of the session whose settles share one bound on waiting for the network;
    // the step lasts until a NetworkWaitStepEnd goes out of scope.
    void beginNetworkWaitStep();
    struct NetworkWaitStepEnd {
        ShellSession* session;
        ~NetworkWaitStepEnd() { session->networkDeadline_.reset(); }
    };
    void advance(double seconds);
    // On the manual clock: runs the main loop and lets the app's other threads work until every
    // thread waits, and the network until nothing is in flight or the step's bound for it has
    // passed. The threads have a budget of their own in real time for the step, spent only while
    // some thread works; once it is spent the clock moves on without them, and the session says
    // so once per step. Gives the earliest time on the Clock at which any thread has something to
    // do (infinity when none).
    NSTimeInterval settleThreads();
    void note(const std::string& line);
    // A bound in real seconds as the session's notes write it ("10", "0.5").
    static std::string secondsText(double seconds);
    void noteComposers();
    // System sounds played since the last note ("vibrate").
    void noteSounds();
    // The one place every command meets while a row of the screen shows its Delete button (or a
    // list still holds it armed): a tap or a finger on the Delete itself works it; any other
    // finger or key on the app only takes the button away, acting on nothing under it, and says
    // so. True when it did: the command is done.
    bool takeDeleteAway(const ShellCommand& command);
    // After a command that acted: settles, then prints what happened and the screen; false when
    // the app is ending.
    bool settleAndPrint();
    bool tapElement(const ShellElement& element);
    bool typeText(const std::string& text);
    bool pressReturn();
    bool goBack();
    bool selectTab(const ShellCommand& command);
    // Two taps on an element, as a finger gives them.
    bool doubleTap(const ShellCommand& command);
    bool scroll(const ShellCommand& command);
    bool pull(const ShellCommand& command);
    bool backspace(int times);
    bool rotate(const std::string& orientation);
    bool swipeToDelete(const ShellCommand& command);
    bool choose(const ShellCommand& command);
    bool pick(const ShellCommand& command);
    bool finishComposer(bool send);
    const ShellElement* findElement(const ShellCommand& command);
    // Holds, drags, double taps and pinches: scripted fingers on the key window.
    bool gesture(const ShellCommand& command);
    bool swipe(const ShellCommand& command);
    void fail(const std::string& message);
    // Sends the app's log to its file for the session; gives the previous sink back at the end.
    void openLog();
    void closeLog();
    void printLog();

    ShellOptions options_;
    std::ostream& out_;
    std::istream& in_;
    std::istream* scriptFile_ = nullptr;
    bool script_ = false;
    bool terminal_ = false;
    bool echo_ = false;
    int status_ = 0;
    ShellScreen screen_;
    std::vector<std::string> notes_;
    size_t soundsNoted_ = 0;
    struct ShownComposer {
        Weak<UIViewController> composer;
        bool mail = false;
    };
    std::vector<ShownComposer> composersShown_;
    // A web page field the person tapped: typing goes to it while no view has the focus.
    ShellElement webFocus_;
    // During a step (a command, or the app's own changes while a line is awaited): when its
    // wait for the network ends, and whether it has said so.
    std::optional<std::chrono::steady_clock::time_point> networkDeadline_;
    bool networkWaitReported_ = false;
    // During a step: the real seconds a wait may still give the app's other threads to rest,
    // and whether the step has said that they ran out.
    double threadWaitLeft_ = 0;
    bool threadWaitReported_ = false;
    struct Input;
    std::unique_ptr<Input> input_;
    std::string logPath_;
    std::function<void(const std::string&)> previousLogSink_;
};

// The log file a session writes when none is named: bazaarnest.log in the app's Library/Logs.
std::string ShellDefaultLogPath();

// The program's entry: parses the arguments (--script FILE, --delegate CLASS, --log FILE,
// --help) and runs a session. `defaultDelegate` is used when no --delegate is given (nil or "":
// the main interface file supplies the delegate).
int ShellMain(int argc, char** argv, const char* defaultDelegate, std::ostream& out,
              std::istream& in);
