#pragma once

// Whether a request was sent by a page of another site. A browser names the page that
// sent a form in "Origin" (or, older ones, in "Referer"), and the server it sent it to in
// "Host"; a request of another origin is one that a foreign page made the operator's
// browser send, with the operator's session cookie. Clients that are no browser send
// neither header and are not judged.

#include <string_view>

namespace vantrel {

struct HttpRequestInfo;

// True when the request's "Origin" header, or lacking it its "Referer", names another
// origin than its "Host" (a missing Host, an origin "null" or one that is no http or https
// URL count as another). Ports the scheme implies are ignored on both sides, so that a
// proxy that serves the site over https does not turn its own pages away.
bool ComesFromOtherOrigin(const HttpRequestInfo& request);

}  // namespace vantrel
