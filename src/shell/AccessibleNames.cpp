#include "AccessibleNames.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::shell {
namespace {

// The dynamic property that marks a count label and holds its pane's subject.
constexpr char kCountSubject[] = "ondivaCountSubject";

QString fieldOf(QStringView optionCaption)
{
    QString field = optionCaption.toString();
    field.remove(u'&');
    return field.toLower();
}

// A count label as the screen reader sees it: the label, with a name built
// from its current text each time it is asked.
class CountAccessible : public QAccessibleWidget {
public:
    explicit CountAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        const auto* label = static_cast<const QLabel*>(widget());
        const QString subject = label->property(kCountSubject).toString();
        const QString rows = label->text();
        return rows.isEmpty() ? u"%1: ricorrenze"_s.arg(subject) : u"%1: %2 ricorrenze"_s.arg(subject, rows);
    }
};

QAccessibleInterface* countFactory(const QString& className, QObject* object)
{
    if (className != u"QLabel"_s || !object->property(kCountSubject).isValid())
        return nullptr;
    return new CountAccessible(static_cast<QLabel*>(object));
}

} // namespace

QString searchBoxName(QStringView caption, QStringView optionCaption)
{
    QStringView phrase = caption.trimmed();
    while (phrase.endsWith(u'.'))
        phrase.chop(1);
    return u"%1 %2"_s.arg(phrase.trimmed(), fieldOf(optionCaption));
}

QString searchBoxDescription()
{
    return u"Scrivi una parola e premi Invio per cercarla. % sta per qualsiasi sequenza di caratteri, _ per un "
           u"carattere qualsiasi."_s;
}

QString optionName(QStringView subject, QStringView optionCaption)
{
    return u"%1: %2"_s.arg(subject, fieldOf(optionCaption));
}

QString resultListDescription()
{
    return u"Ctrl+C copia le righe selezionate; un clic su un'intestazione ordina l'elenco per quella colonna."_s;
}

void nameCount(QLabel& count, const QString& subject)
{
    static const bool installed = [] {
        QAccessible::installFactory(countFactory);
        return true;
    }();
    Q_UNUSED(installed);
    count.setProperty(kCountSubject, subject);
    // Qt keeps the first interface it hands out for an object; one made
    // before the label was marked is dropped, so the next query uses ours.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&count);
        made && !dynamic_cast<CountAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace ondiva::shell
