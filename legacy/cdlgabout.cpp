#include "cdlgabout.h"

#include "buildnumber.h"
#include "ui_cdlgabout.h"

CDlgAbout::CDlgAbout(QWidget *parent)
    : CBaseDialog(parent, false, false, false)
    , m_ui(std::make_unique<Ui::CDlgAboutClass>())
{
    m_ui->setupUi(GetContentFrame());
    setFixedSize(400, 200);
    ShowCloseBtn(true);
    SetTitle(tr("About"));
    m_ui->pLabelAbout->setText(tr("VEXA") + QLatin1Char('\n') + QStringLiteral(" v2.00.00.03") + QStringLiteral(" Build")
                               + QString::number(GetBuildNumber()));
}

CDlgAbout::~CDlgAbout() = default;
