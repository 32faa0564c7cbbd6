#pragma once

#include "vexawidgets_export.h"

#include <QRegularExpressionValidator>

/**
 * A regular-expression validator that also caps the input's length, counted
 * in bytes of the locale's 8-bit encoding (the unit the discovery library and
 * its fixed-width fields work in). A negative limit means no limit.
 */
class VEXAWIDGETS_EXPORT CRegExpValidator : public QRegularExpressionValidator
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRegExpValidator)

public:
    /** Accepts any text of at most \a maxBytes bytes. */
    explicit CRegExpValidator(int maxBytes, QObject *parent = nullptr);
    CRegExpValidator(int maxBytes, const QRegularExpression &re, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;

private:
    int m_iMaxBytes = -1;
};
