#include "Classes/RequestInFlight.h"

#include <algorithm>

#include "Classes/WebPage.h"
#include "Foundation/NSIndexPath.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

RequestInFlight::Ticket RequestInFlight::add(bool control, WebPage* page,
                                             const std::function<void()>& send, NSObject* sentFor) {
    // Counted before it goes: an answer may come within the send (a synchronous request).
    Ticket ticket = ++last_;
    out_.push_back({ticket, control, page, nullptr, sentFor});
    try {
        send();
        for (Out& o : out_)
            if (o.ticket == ticket && page) o.request = page->request();
    } catch (...) {
        std::erase_if(out_, [&](const Out& o) { return o.ticket == ticket; });
        throw;
    }
    return ticket;
}

RequestInFlight::Ticket RequestInFlight::send(WebPage* page, const std::function<void()>& send,
                                              NSObject* sentFor) {
    if (controlIsOut()) return 0;
    return add(true, page, send, sentFor);
}

RequestInFlight::Ticket RequestInFlight::start(WebPage* page, const std::function<void()>& send,
                                               NSObject* sentFor) {
    return add(false, page, send, sentFor);
}

RequestInFlight::Answer RequestInFlight::take(std::size_t index) {
    Out gone = std::move(out_[index]);
    out_.erase(out_.begin() + static_cast<std::ptrdiff_t>(index));
    return {true, gone.control, gone.sentFor};
}

RequestInFlight::Answer RequestInFlight::ended(NKHTTPRequest* request) {
    for (std::size_t i = 0; request && i < out_.size(); ++i)
        if (out_[i].request.get() == request ||
            (out_[i].page && out_[i].page->request().get() == request))
            return take(i);
    return {};
}

RequestInFlight::Answer RequestInFlight::ended(Ticket ticket) {
    for (std::size_t i = 0; ticket && i < out_.size(); ++i)
        if (out_[i].ticket == ticket) return take(i);
    return {};
}

bool RequestInFlight::controlIsOut() const {
    return std::any_of(out_.begin(), out_.end(), [](const Out& o) { return o.control; });
}

bool RequestInFlight::isOut(Ticket ticket) const {
    return ticket &&
           std::any_of(out_.begin(), out_.end(), [&](const Out& o) { return o.ticket == ticket; });
}

Ref<NSIndexPath> RequestInFlight::rowToSelect(NSIndexPath* path) const {
    return isOut() ? nullptr : Ref<NSIndexPath>(path);
}
