// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The key descriptions of docs/keys.txt and the blocks of the documents made from them.

#include <QList>
#include <QString>
#include <QStringList>

namespace korvane::docs {

// One record of docs/keys.txt: one key, or keys that share a description.
struct KeyEntry
{
    QStringList keys;
    QString group; // "classic", "output" or "replay"
    bool windowOnly = false;
    QString meaning; // `code` in backquotes
    QString accepted;
    QString defaultValue; // shared by all keys, or
    QStringList defaults; // one per key
};

// The records, or why the text is not a well-formed key list.
struct KeyList
{
    QList<KeyEntry> entries;
    QString error;
};

KeyList parseKeyList(const QString& text);

enum class Format
{
    Markdown,
    Html,
    Man
};

// A block of a document: the records of `groups`, with or without the window's own keys.
struct BlockSpec
{
    QString name; // in the marker comments: "classic", "optional", ...
    QStringList groups;
    bool windowKeys = true;
};

// The block's text, every line ended by a line feed.
QString renderBlock(Format format, const QList<KeyEntry>& entries, const BlockSpec& block);

// The marker comment lines that open and close the block `name` in a document of `format`.
QString beginMarker(Format format, const QString& name);
QString endMarker(Format format, const QString& name);

} // namespace korvane::docs
