#pragma once

// Reading a Qt Designer form without making any widget: the Quellix
// controls it holds, with the two string properties a host runs them by.

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace host {

/// One Quellix control of a form.
struct FormControl
{
    QString name;    ///< its objectName: the name of its settings row
    QString channel; ///< where its readings come from (may be empty)
    QString setup;   ///< first-run settings "Key=Value; ..." (may be empty)
    friend bool operator==(const FormControl &, const FormControl &) = default;
};

/// The Quellix controls of a form's XML (a .ui file's text), in the order
/// the form holds them, however deep in layouts and containers. Only a
/// control's own "channel" and "setup" properties count, not those of
/// widgets inside it. Returns nothing and says why in `error` for text
/// that is not well-formed XML (with its line and column), that is not a
/// Designer form, or that holds no Quellix control.
std::optional<QList<FormControl>> readFormControls(QByteArrayView xml, QString *error);

/// readFormControls() on a file; a file that cannot be read is an error
/// naming it.
std::optional<QList<FormControl>> readFormFile(const QString &path, QString *error);

} // namespace host
