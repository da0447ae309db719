#include "app/shell/Appcast.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <limits>

namespace skyloom::app {
namespace {

constexpr auto sparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

#ifdef __APPLE__
constexpr auto thisSystem = "macos";
#else
constexpr auto thisSystem = "linux";
#endif

enum class PartType { number, text, separator };

PartType typeOf(QChar c) {
    if (c == u'.' || c.isSpace() || c.isPunct())
        return PartType::separator;
    if (c.isDigit())
        return PartType::number;
    return PartType::text;
}

QStringList split(const QString& version) {
    QStringList parts;
    QString part;
    for (QChar c : version) {
        if (!part.isEmpty() &&
            (typeOf(c) != typeOf(part[0]) || typeOf(part[0]) == PartType::separator)) {
            parts.push_back(part);
            part.clear();
        }
        part += c;
    }
    if (!part.isEmpty())
        parts.push_back(part);
    return parts;
}

// The value of a run of digits, held at the largest value rather than
// wrapping.
long long numberValue(const QString& digits) {
    long long value = 0;
    for (QChar c : digits) {
        int digit = c.digitValue();
        if (value > (std::numeric_limits<long long>::max() - digit) / 10)
            return std::numeric_limits<long long>::max();
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

int compareVersions(const QString& a, const QString& b) {
    const QStringList partsA = split(a), partsB = split(b);
    const qsizetype common = std::min(partsA.size(), partsB.size());
    for (qsizetype i = 0; i < common; ++i) {
        const PartType typeA = typeOf(partsA[i][0]), typeB = typeOf(partsB[i][0]);
        if (typeA == typeB) {
            if (typeA == PartType::number) {
                long long valueA = numberValue(partsA[i]), valueB = numberValue(partsB[i]);
                if (valueA != valueB)
                    return valueA < valueB ? -1 : 1;
            } else if (typeA == PartType::text) {
                int order = QString::compare(partsA[i], partsB[i]);
                if (order != 0)
                    return order < 0 ? -1 : 1;
            }
            continue;
        }
        // Text is a pre-release, so anything else is newer; a number beats a separator.
        if (typeB == PartType::text)
            return 1;
        if (typeA == PartType::text)
            return -1;
        return typeA == PartType::number ? 1 : -1;
    }
    if (partsA.size() == partsB.size())
        return 0;
    const bool aLonger = partsA.size() > partsB.size();
    const QString& extra = aLonger ? partsA[common] : partsB[common];
    // "1.0b" is older than "1.0", but "1.0.1" is newer.
    const bool longerIsNewer = typeOf(extra[0]) != PartType::text;
    return (aLonger == longerIsNewer) ? 1 : -1;
}

std::optional<AppcastItem> Appcast::newest() const {
    std::optional<AppcastItem> best;
    for (const auto& item : items)
        if (!best || compareVersions(item.version, best->version) > 0)
            best = item;
    return best;
}

std::optional<Appcast> Appcast::parse(const QByteArray& document) {
    QXmlStreamReader xml(document);
    Appcast appcast;
    bool sawRss = false, sawChannel = false;

    struct ItemState {
        AppcastItem item;
        QUrl link;
        QString os;
        bool otherChannel = false;
    };
    std::optional<ItemState> current;

    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            const bool sparkle = xml.namespaceUri() == QLatin1String(sparkleNamespace);
            if (!sawRss) {
                if (name != u"rss")
                    return std::nullopt;
                sawRss = true;
            } else if (!sparkle && name == u"channel") {
                sawChannel = true;
            } else if (!sparkle && name == u"item") {
                current.emplace();
            } else if (!sparkle && name == u"ttl" && !current) {
                bool ok = false;
                int minutes = xml.readElementText().trimmed().toInt(&ok);
                if (ok && minutes > 0 && minutes <= 366 * 24 * 60)
                    appcast.checkIntervalSeconds = minutes * 60;
            } else if (current && !sparkle && name == u"link") {
                current->link = QUrl(xml.readElementText().trimmed());
            } else if (current && !sparkle && name == u"enclosure") {
                const auto attributes = xml.attributes();
                auto attribute = [&](const char* key) {
                    return attributes.value(QLatin1String(sparkleNamespace), QLatin1String(key))
                        .toString()
                        .trimmed();
                };
                if (current->item.version.isEmpty())
                    current->item.version = attribute("version");
                if (current->item.displayVersion.isEmpty())
                    current->item.displayVersion = attribute("shortVersionString");
                if (current->os.isEmpty())
                    current->os = attribute("os");
            } else if (current && sparkle) {
                if (name == u"version")
                    current->item.version = xml.readElementText().trimmed();
                else if (name == u"shortVersionString")
                    current->item.displayVersion = xml.readElementText().trimmed();
                else if (name == u"releaseNotesLink")
                    current->item.releaseNotes = QUrl(xml.readElementText().trimmed());
                else if (name == u"channel")
                    current->otherChannel = !xml.readElementText().trimmed().isEmpty();
                else if (name == u"os")
                    current->os = xml.readElementText().trimmed();
            }
        } else if (xml.isEndElement() && current && xml.name() == u"item" &&
                   xml.namespaceUri().isEmpty()) {
            ItemState done = std::move(*current);
            current.reset();
            // An item without a system is for the system this feed is built for.
            const bool forThisSystem =
                done.os.isEmpty() ||
                done.os.compare(QLatin1String(thisSystem), Qt::CaseInsensitive) == 0;
            if (done.item.version.isEmpty() || !forThisSystem || done.otherChannel)
                continue;
            if (done.item.displayVersion.isEmpty())
                done.item.displayVersion = done.item.version;
            if (done.item.releaseNotes.isEmpty())
                done.item.releaseNotes = done.link;
            // Only secure web links are offered to the user.
            if (done.item.releaseNotes.scheme() != u"https" ||
                done.item.releaseNotes.host().isEmpty())
                done.item.releaseNotes = QUrl();
            appcast.items.push_back(std::move(done.item));
        }
    }
    if (xml.hasError() || !sawRss || !sawChannel)
        return std::nullopt;
    return appcast;
}

} // namespace skyloom::app
