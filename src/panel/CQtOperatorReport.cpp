#include "CQtOperatorReport.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>

namespace {
const char* const kCaption = "ORMID";

// A Yes/No box would take Escape and its close box as No. On a question that
// guards unsaved work they back out instead; this notes that they did.
class CBackOutWatch : public QObject {
public:
    bool backedOut = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (!box)
            return false;
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            backedOut = true;
            box->done(QMessageBox::Cancel);
            return true;
        }
        // A box closed after a button was pressed has its answer already.
        if (event->type() == QEvent::Close && !box->clickedButton())
            backedOut = true;
        return false;
    }
};
}  // namespace

void CQtOperatorReport::ShowMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, kCaption, QString::fromStdString(text), QMessageBox::Ok, m_parent);
    box.exec();
}

bool CQtOperatorReport::AskYesNo(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

IOperatorReport::Answer CQtOperatorReport::AskYesNoOrCancel(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    CBackOutWatch watch;
    box.installEventFilter(&watch);
    const int clicked = box.exec();
    if (watch.backedOut)
        return Answer::Cancel;
    return clicked == QMessageBox::Yes ? Answer::Yes : Answer::No;
}
