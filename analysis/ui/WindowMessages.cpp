#include "analysis/ui/WindowMessages.h"

#include <array>
#include <utility>

namespace selva {

QString windowMessage(const std::string& coreMessage)
{
    const QString m = QString::fromStdString(coreMessage);
    // Messages that start with a fixed text and go on with a name or a number.
    static const std::array<std::pair<const char*, const char*>, 3> prefixes = {{
        {"Unable to open file ", "Невозможно открыть файл "},
        {"Error writing ", "Ошибка записи файла "},
        {"Unable to prepare audio device header", "Невозможно подготовить буфер звукового устройства"},
    }};
    for (const auto& [en, ru] : prefixes) {
        const QString prefix = QString::fromLatin1(en);
        if (m.startsWith(prefix)) {
            return QString::fromUtf8(ru) + m.mid(prefix.size());
        }
    }
    static const std::array<std::pair<const char*, const char*>, 6> whole = {{
        {"Error reading wave data", "Ошибка чтения звуковых данных"},
        {"Invalid wave file format", "Неверный формат WAV-файла"},
        {"No data chunk", "В WAV-файле нет блока данных"},
        {"Chunk has no data", "Блок данных WAV-файла пуст"},
        {"Invalid 'fmt ' chunk.", "Неверный блок формата WAV-файла"},
        {"Unsupported recording format for the synthesiser", "Неподдерживаемый формат записи"},
    }};
    for (const auto& [en, ru] : whole)
        if (m == QString::fromLatin1(en))
            return QString::fromUtf8(ru);
    const QString notWave = QStringLiteral(" is not a wave file");
    if (m.endsWith(notWave))
        return QStringLiteral("Файл ") + m.left(m.size() - notWave.size()) + QStringLiteral(" не является WAV-файлом");
    return m;
}

} // namespace selva
