#include "CQtOperatorReport.h"

#include <QMessageBox>

namespace {
const char* const kCaption = "ORMID";
}

void CQtOperatorReport::ShowMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, kCaption, QString::fromStdString(text),
                    QMessageBox::Ok, m_parent);
    box.exec();
}

bool CQtOperatorReport::AskYesNo(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
