#include "CPictureAccessible.h"

#include <QSet>
#include <QWidget>

namespace {

QSet<QString>& PictureClasses()
{
    static QSet<QString> classes;
    return classes;
}

QAccessibleInterface* PictureFactory(const QString& className, QObject* object)
{
    if (object && object->isWidgetType() && PictureClasses().contains(className))
        return new CPictureAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

void CPictureAccessible::Install(const char* className)
{
    static const bool installed = (QAccessible::installFactory(PictureFactory), true);
    (void)installed;
    PictureClasses().insert(QString::fromLatin1(className));
}
