#pragma once

#include <QString>
#include <QUrl>

namespace tarovex::ui {

// Only web and mail addresses are handed to the desktop: a link in a text must never start
// a program or open a local file.
bool isOpenableLink(const QUrl& url);

// Opens the address in the desktop's browser on a thread of its own (the desktop's opener
// may take seconds) and returns at once; a refused or failed opening shows the fixed dialog.
void openHyperlink(const QString& address);

} // namespace tarovex::ui
