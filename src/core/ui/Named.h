#pragma once

#include <QString>

namespace bx {

/**
 * Gives a new control the name the design gives it (tests and the CUSTOM table address controls
 * by that name) and returns it, so that a control is made and named in one expression.
 */
template <typename W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

template <typename W> W* named(W* widget, const char* name)
{
    return named(widget, QString::fromLatin1(name));
}

} // namespace bx
