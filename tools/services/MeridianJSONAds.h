// The Meridian service's JSON ads: image and video replies by sdkapid, and the media host that
// serves their pictures and videos (minimal MP4 movies of a chosen length padded to 256 KB, whose
// media data starts with a few PNG pictures that the movie player shows in turn,
// one range answered 206 (an unsatisfiable one 416, an unreadable one ignored), and faults by
// folder: a drop part-way, ranges ignored, missing files).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/standin/HttpMessage.h"

namespace bnservices::meridianjson {

using standin::HttpRequest;
using standin::HttpResponse;

// The JSON reply for a JSON scenario's sdkapid, nullopt for any other.
std::optional<HttpResponse> adReply(const std::string& apid);
std::vector<std::string> scenarios();
// The media host's answer.
HttpResponse media(const HttpRequest& request);

// An MP4 file whose movie header says `seconds`, its media data the movie's pictures (PNG
// files, one after another) padded to `size` bytes in all.
std::string paddedMp4(double seconds, std::size_t size);
// The size of every served video.
inline constexpr std::size_t kVideoSize = 256 * 1024;
// The longest video asked for by name.
inline constexpr double kMaxVideoSeconds = 24 * 3600;
// Where the drop fault cuts a video off.
inline constexpr std::size_t kDropAfter = 100 * 1024;

}  // namespace bnservices::meridianjson
