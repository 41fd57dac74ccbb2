#pragma once

#include "service/RecordedRequest.h"
#include "service/ServiceEndpoints.h"

#include <optional>
#include <string>

// Pages on the web host for files and calls:
//   "/media/chat"  a chat with a file card inside a frame ("/media/card") whose link goes to
//                   the file host ("/files/x7k2m9.pdf"), for the page's download script;
//   "/media/attachment/<n>"  an attachment named in the filename*=UTF-8'' form;
//   "/media/statement"       a PDF answered to the main frame itself;
//   "/media/missing"         a file that is not there (404);
//   "/media/call"   a call button labelled "Позвонить" and window.askMicrophone(), which
//                   settles with "granted" or "denied:<error name>".
namespace orvi::test::pages {

struct PageResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    RecordedRequest::Pairs headers;
};

inline PageResponse html(std::string body, int status = 200) {
    return PageResponse{status, "text/html; charset=utf-8", std::move(body), {}};
}
inline PageResponse plainText(int status, std::string text) {
    return PageResponse{status, "text/plain; charset=utf-8", std::move(text) + "\n", {}};
}

std::optional<PageResponse> mediaPage(const RecordedRequest& request, const ServiceEndpoints& endpoints);

// The bytes each file route serves, so tests can compare what lands on disk.
std::string mediaFileBody(const std::string& path);

} // namespace orvi::test::pages
