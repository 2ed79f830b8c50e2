#pragma once
// The resources the program carries: the empty library and index a new library starts from,
// type "exefile", names "wil" and "wix". Type and name are matched without regard to case.

#include <QByteArray>
#include <QString>
#include <optional>

// The bytes of the embedded resource, or nullopt when there is none of that type and name.
std::optional<QByteArray> embeddedResource(const QString &type, const QString &name);

// Writes the embedded resource to `path`, creating or replacing the file. False, with the
// reason in `error`, when there is no such resource or the file cannot be written.
bool Extractrec(const QString &type, const QString &name, const QString &path,
                QString *error = nullptr);
