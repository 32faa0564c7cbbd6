#include "cregexpvalidator.h"

#include "localcodec.h"

#include <QByteArray>

CRegExpValidator::CRegExpValidator(int maxBytes, QObject *parent)
    : QRegularExpressionValidator(parent)
    , m_iMaxBytes(maxBytes)
{
}

CRegExpValidator::CRegExpValidator(int maxBytes, const QRegularExpression &re, QObject *parent)
    : QRegularExpressionValidator(re, parent)
    , m_iMaxBytes(maxBytes)
{
}

QValidator::State CRegExpValidator::validate(QString &input, int &pos) const
{
    if (m_iMaxBytes >= 0 && ToLocal8Bit(input).size() > m_iMaxBytes)
        return Invalid;
    return QRegularExpressionValidator::validate(input, pos);
}
