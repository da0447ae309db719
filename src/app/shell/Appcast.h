#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace skyloom::app {

// One release announced by an appcast (Sparkle's RSS format). Its values
// come from the network: shown as plain text, never as markup.
struct AppcastItem {
    QString version;        // sparkle:version, compared with compareVersions
    QString displayVersion; // sparkle:shortVersionString, else the version
    QUrl releaseNotes;      // sparkle:releaseNotesLink, else the item's link; https only
};

// What an appcast says: its releases for this system, and how often it
// wants to be read (the channel's <ttl>), when it says so.
struct Appcast {
    std::vector<AppcastItem> items;
    std::optional<int> checkIntervalSeconds;

    // The newest release, by compareVersions; absent when there is none.
    std::optional<AppcastItem> newest() const;

    // Reads an appcast. Items for another system (sparkle:os), on a channel
    // other than the default one, or without a version are left out. Absent
    // when the document is not a well-formed RSS feed.
    static std::optional<Appcast> parse(const QByteArray& document);
};

// Compares two versions as Sparkle does: split into runs of digits, runs of
// other characters, and single separators ('.', punctuation, white space);
// numbers compare by value, text by characters, and text after a common
// prefix marks a pre-release ("1.0b1" < "1.0" < "1.0.1"). Negative, zero or
// positive as `a` is older than, the same as, or newer than `b`.
int compareVersions(const QString& a, const QString& b);

} // namespace skyloom::app
