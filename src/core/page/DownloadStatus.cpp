#include "core/page/DownloadStatus.h"

namespace orvi {

std::optional<StatusLine> statusLineFor(const DownloadEvent& event) {
    const auto quoted = "«" + event.filename + "»";
    switch (event.kind) {
    case DownloadEvent::Kind::started:
        return StatusLine{"Загрузка файла " + quoted + "…", true, std::nullopt, false};
    case DownloadEvent::Kind::downloaded:
        return StatusLine{"Файл " + quoted + " загружен, выберите, куда его сохранить", false, std::nullopt,
                          false};
    case DownloadEvent::Kind::saved:
        return StatusLine{"Файл " + quoted + " сохранён", false, event.savedPath, false};
    case DownloadEvent::Kind::failed:
        return StatusLine{"Не удалось загрузить файл " + quoted + ": " + event.reason, false, std::nullopt,
                          true};
    case DownloadEvent::Kind::cancelled:
        return std::nullopt;
    }
    return std::nullopt;
}

StatusLine callsUnavailableStatusLine() {
    return StatusLine{"Звонки недоступны: эта сборка веб-движка не поддерживает WebRTC", false, std::nullopt,
                      true};
}

} // namespace orvi
