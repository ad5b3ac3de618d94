#include "CQtPrintReport.h"

#include <QMessageBox>

void CQtPrintReport::ShowMessage(const std::string& caption, const std::string& text, bool stop)
{
    QMessageBox box(stop ? QMessageBox::Critical : QMessageBox::Warning, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, m_parent);
    box.exec();
}
