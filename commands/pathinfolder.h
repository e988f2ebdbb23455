#pragma once

#include <QString>

// The full path of name inside folder, joined by exactly one "/": a folder that already ends in
// "/" (the root) gets no second one.
QString pathInFolder(const QString &folder, const QString &name);
