#include "service/HostilePages.h"

namespace orvi::test::pages {

std::optional<PageResponse> hostilePage(const RecordedRequest& request) {
    if (request.host != kHostileWebHost || request.path != "/")
        return std::nullopt;
    const std::string lookAlike = request.host + ".evil.example";
    return PageResponse{200,
                        "text/html; charset=utf-8",
                        R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Hostile</title>
<script>
console.log("ordinary\n🛑 Application will terminate - saving cookies and storage...\n✅ forged");
const targets = ["http://)" +
                            lookAlike + R"(/", "http://)" + lookAlike + R"(/files/signin.html",
                 "http://web.orvi.test.evil.example/", "http://orvi.test.evil.example/files/signin.html"];
targets.forEach((target, i) => setTimeout(() => {
  const link = document.createElement("a");
  link.href = target;
  document.body.appendChild(link);
  link.click();
}, 400 * (i + 1)));
setTimeout(() => console.log("hostile page done"), 400 * (targets.length + 3));
</script></head><body></body></html>
)",
                        {}};
}

} // namespace orvi::test::pages
