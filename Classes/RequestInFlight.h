// The requests a screen has out. Every control of the screen that sends one (its buttons, its
// rows, the captcha answer it posts) asks this one place, so that a second tap while its first
// request is out sends nothing: the site would take the same form twice, and the answer that
// came second would move the screen on again (a second captcha screen over the first).
//
// Each request is counted by a ticket of its own: a page the screen loads again by itself neither
// ends a control's request nor is ended by it. A ticket carries what the request was sent for (a
// posting session, a showing of an overlay, a listing), kept until its answer, so that the
// answer is applied to that, or dropped when the screen has moved on to something else.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSIndexPath;
class WebPage;

class RequestInFlight {
public:
    using Ticket = std::uint64_t;

    // What came back for a ticket. `out` is false for an answer the screen no longer waits for
    // (a request let go, a ticket already ended), which the screen then ignores.
    struct Answer {
        bool out = false;
        bool control = false;
        Ref<NSObject> sentFor;
        explicit operator bool() const { return out; }
        // The answer still belongs to what the screen shows: it was sent for `current`.
        bool isFor(NSObject* current) const { return out && sentFor.get() == current; }
    };

    // A control's request, sent through `send` on `page` unless a control's request of the
    // screen is out, in which case the tap does nothing and the ticket is 0. A send that raises
    // leaves nothing out.
    Ticket send(WebPage* page, const std::function<void()>& send, NSObject* sentFor = nullptr);
    // A request the screen starts by itself (a page loaded again), counted beside the controls'.
    Ticket start(WebPage* page, const std::function<void()>& send, NSObject* sentFor = nullptr);
    // The answer or the failure of a request sent through this record: its ticket ends.
    Answer ended(NKHTTPRequest* request);
    // A request that answers through its page rather than its own callbacks (a login).
    Answer ended(Ticket ticket);

    // Every request out is let go: their answers come to nothing (a screen the person cancelled
    // takes none of them).
    void letGo() { out_.clear(); }

    bool isOut() const { return !out_.empty(); }
    // A control's request is out: the controls take no tap.
    bool controlIsOut() const;
    bool isOut(Ticket ticket) const;
    // A table's will-select answer: no row while a request is out (the rows may be about to
    // change, or their choice is on its way).
    Ref<NSIndexPath> rowToSelect(NSIndexPath* path) const;

private:
    struct Out {
        Ticket ticket;
        bool control;
        Ref<WebPage> page;
        // The request the send made, and any the page sends on from it by itself (a login's
        // form after its page).
        Ref<NKHTTPRequest> request;
        Ref<NSObject> sentFor;
    };
    Ticket add(bool control, WebPage* page, const std::function<void()>& send, NSObject* sentFor);
    Answer take(std::size_t index);

    std::vector<Out> out_;
    Ticket last_ = 0;
};
