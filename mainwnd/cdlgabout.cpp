#include "cdlgabout.h"

#include "buildnumber.h"
#include "ui_cdlgabout.h"

CDlgAbout::CDlgAbout(QWidget *parent)
    : CBaseDialog(parent, false, false, false)
    , m_ui(std::make_unique<Ui::CDlgAboutClass>())
{
    m_ui->setupUi(GetContentFrame());
    setFixedSize(520, 200);
    ShowCloseBtn(true);
    SetTitle(tr("About"));
    m_ui->pLabelAbout->setText(tr(" v2.00.00.01") + QStringLiteral(" Build") + QString::number(GetBuildNumber()));
    connect(m_ui->m_pOkBtn, &QPushButton::clicked, this, &QDialog::accept);
}

CDlgAbout::~CDlgAbout() = default;
