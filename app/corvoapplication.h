#pragma once

#include "vexaapp_export.h"

#include <QApplication>

#include <memory>

class QSize;
class SingleInstanceLock;

/**
 * The application object: fonts, plug-in path, configuration and language,
 * skin, style and the single-instance marker, all set up in the constructor
 * before any window exists.
 */
class VEXAAPP_EXPORT COrvoApplication : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(COrvoApplication)

public:
    /** @p key names the single-instance marker. */
    COrvoApplication(int &argc, char **argv, const QString &key);
    ~COrvoApplication() override;

    /** True, after telling the user, when another instance holds the key. */
    bool CheckSingleInstance();
    /** True, after telling the user, when the primary screen is below the minimum size. */
    bool CheckResolution();
    /** Whether a screen of @p size is below 1024 x 768. */
    static bool IsResolutionTooSmall(const QSize &size);

private:
    void InitFont();
    void InitConfig();
    void InstallTranslators();
#ifndef VEXA_OLDER_EDITION
    void InitSkin();
#endif
    void InitStyleSheet();
    void InitSingleInstance();
    void Warn(const QString &text);

    bool m_bAlreadyRunning = false;
    std::unique_ptr<SingleInstanceLock> m_pInstanceLock;
};
