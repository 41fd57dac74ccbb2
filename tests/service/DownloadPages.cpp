#include "service/DownloadPages.h"

namespace orvi::test::pages {

namespace {

PageResponse attachment(const char* type, std::string body, const std::string& filename, int status = 200) {
    return PageResponse{status, type, std::move(body), {{"Content-Disposition", "attachment; " + filename}}};
}

} // namespace

std::string mediaFileBody(const std::string& path) {
    return "%PDF-1.4 imitation of " + path + "\n";
}

std::optional<PageResponse> mediaPage(const RecordedRequest& request, const ServiceEndpoints& e) {
    const auto& path = request.path;
    if (request.host == e.fileHost && path == "/files/x7k2m9.pdf")
        return attachment("application/pdf", mediaFileBody(path), "filename=\"x7k2m9.pdf\"");
    if (request.host != e.webHost || !path.starts_with("/media/"))
        return std::nullopt;
    if (path == "/media/chat")
        return html(R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Файлы</title></head><body>
<p>Чат с файлами</p>
<iframe id="card-frame" src="/media/card" width="400" height="200"></iframe>
</body></html>)");
    if (path == "/media/card")
        return html(R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<div class="file-card" role="button">
  <span class="title">Договор поставки.pdf</span>
  <span class="size">12 КБ</span>
  <a id="download" href=")" +
                    e.url(e.fileHost, "/files/x7k2m9.pdf") +
                    R"(">Скачать</a>
</div></body></html>)");
    if (path.starts_with("/media/attachment/"))
        return attachment("application/octet-stream", mediaFileBody(path),
                          "filename*=UTF-8''%D0%9A%D0%B2%D0%B8%D1%82%D0%B0%D0%BD%D1%86%D0%B8%D1%8F.txt");
    if (path == "/media/statement")
        return attachment("application/pdf", mediaFileBody(path), "filename=\"statement.pdf\"");
    if (path == "/media/missing")
        return attachment("application/pdf", "gone", "filename=\"gone.pdf\"", 404);
    if (path == "/media/call")
        return html(R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Звонок</title></head><body>
<button id="call" aria-label="Позвонить">📞</button>
<button id="other" aria-label="Поиск">🔍</button>
<script>
window.askMicrophone = function () {
  if (!navigator.mediaDevices) return Promise.resolve("denied:NoMediaDevices");
  return navigator.mediaDevices.getUserMedia({audio: true}).then(function (stream) {
    stream.getTracks().forEach(function (t) { t.stop(); });
    return "granted";
  }, function (error) { return "denied:" + error.name; });
};
</script></body></html>)");
    return std::nullopt;
}

} // namespace orvi::test::pages
