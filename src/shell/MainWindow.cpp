#include "MainWindow.h"

#include "AccessibleNames.h"
#include "OptionRadio.h"
#include "ResultListWidget.h"
#include "SearchBox.h"
#include "WindowIcon.h"
#include "catalogue/EarlierCatalogueCommand.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/QtConversionProgress.h"
#include "platform/controls/QtFileDialog.h"
#include "platform/controls/QtInputFile.h"
#include "platform/controls/QtLabel.h"
#include "platform/controls/QtOptionButton.h"
#include "platform/controls/QtTextBox.h"
#include "update/UpdateImport.h"

#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::shell {
namespace {

// The window is laid out in twips, 15 to a device-independent pixel.
constexpr QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

constexpr QSize kClientSize(10245 / 15, 8295 / 15);

struct OptionLayout {
    QRect geometry;
    int tabIndex;
    // The caption start-up gives the option, with its access letter marked by
    // "&"; until then the option shows it without the mark.
    QStringView caption;
};

struct PaneLayout {
    const search::PaneDefinition& definition;
    const char* captionLabel;
    QRect caption;
    std::array<OptionLayout, catalogue::kMaxColumns> options;
    QRect searchBox;
    int searchTab;
    const char* occurrencesLabel;
    QRect occurrences;
    QRect count;
    QRect list;
    int listTab;
    QColor colour;
    QStringView subject;
    std::array<QStringView, 3> headers;
};

const std::array<PaneLayout, 4>& paneLayouts()
{
    static const std::array<PaneLayout, 4> layouts{{
        {search::kArticlesPane,
         "Label1",
         twips(120, 120, 1815, 315),
         {{{twips(2040, 120, 975, 315), 6, u"&Titolo"},
           {twips(3000, 120, 975, 315), 7, u"&Autore"},
           {twips(3960, 120, 975, 315), 8, u"&Rivista"}}},
         twips(5100, 120, 3000, 315),
         0,
         "Label7",
         twips(8640, 120, 855, 315),
         twips(9540, 120, 615, 315),
         twips(120, 480, 10035, 1455),
         27,
         QColor(192, 255, 255),
         u"Articoli",
         {u"Articolo", u"Autore", u"Rivista"}},
        {search::kWindowsPane,
         "Label2",
         twips(120, 2160, 2175, 315),
         {{{twips(2400, 2220, 1095, 255), 9, u"&Nome"},
           {twips(3180, 2220, 1095, 255), 10, u"T&ipo"},
           {twips(3960, 2220, 1095, 255), 16, u"Ri&vista"}}},
         twips(5100, 2160, 3000, 315),
         2,
         "Label8",
         twips(8640, 2160, 855, 315),
         twips(9540, 2160, 615, 315),
         twips(120, 2520, 10035, 1455),
         28,
         QColor(255, 255, 192),
         u"Software Win",
         {u"Nome del software", u"Tipo", u"Rivista"}},
        {search::kMacintoshPane,
         "Label3",
         twips(120, 4200, 2235, 315),
         {{{twips(2460, 4260, 1095, 315), 11, u"N&ome"},
           {twips(3300, 4260, 1095, 315), 12, u"Ti&po"},
           {twips(4020, 4260, 1095, 315), 17, u"Rivi&sta"}}},
         twips(5160, 4200, 3000, 315),
         4,
         "Label9",
         twips(8640, 4200, 855, 315),
         twips(9540, 4200, 615, 315),
         twips(120, 4620, 10035, 1455),
         29,
         QColor(192, 255, 192),
         u"Software Mac",
         {u"Nome del software", u"Tipo", u"Rivista"}},
        {search::kGroovesPane,
         "Label11",
         twips(120, 6300, 2235, 315),
         {{{twips(2460, 6360, 1095, 315), 22, u"No&me"}, {twips(3600, 6360, 1095, 315), 21, u"Rivista"}, {}}},
         twips(5160, 6300, 3000, 315),
         23,
         "Label12",
         twips(8640, 6300, 855, 315),
         twips(9540, 6300, 615, 315),
         twips(120, 6720, 10035, 1455),
         30,
         QColor(255, 192, 192),
         u"Grooves",
         {u"Titolo", u"Rivista", u"Rivista"}},
    }};
    return layouts;
}

// The horizontal rules above each pane.
struct RuleLayout {
    const char* name;
    int top; // twips
};
constexpr std::array<RuleLayout, 4> kRules{{{"Line4", 0}, {"Line1", 2040}, {"Line2", 4080}, {"Line3", 6180}}};
constexpr QRect kRuleSpan = twips(120, 0, 10140 - 120, 0);
constexpr int kRuleThickness = 3;
const QColor kRuleColour(64, 64, 64);

// The layout was drawn for MS Sans Serif. Where the system has it (Windows'
// TrueType drawing of it first, which scales with the screen), the window uses
// it; elsewhere DejaVu Sans, so the face is always one the system really has
// rather than whatever it substitutes for a name it lacks.
QString designFace()
{
    const QStringList families = QFontDatabase::families();
    for (const QString& face : {u"Microsoft Sans Serif"_s, u"MS Sans Serif"_s}) {
        if (families.contains(face, Qt::CaseInsensitive))
            return face;
    }
    return u"DejaVu Sans"_s;
}

// DejaVu Sans is wider than the face the layout was drawn for. A caption that
// would not fit its room is drawn a little condensed instead of being cut off.
QFont fittedFont(QFont font, const QString& text, int room)
{
    font.setStretch(QFont::Unstretched);
    for (int stretch = QFont::Unstretched;
         stretch > QFont::ExtraCondensed && QFontMetrics(font).horizontalAdvance(text) > room; --stretch) {
        font.setStretch(stretch - 1);
    }
    return font;
}

void fitCaption(QLabel& label) { label.setFont(fittedFont(label.font(), label.text(), label.contentsRect().width())); }

// An option's rectangle may reach under its right-hand neighbour; its caption
// has to end before the neighbour's indicator.
void fitCaption(QRadioButton& option, int visibleWidth)
{
    constexpr int kGap = 4;
    const QStyle* style = option.style();
    const int textLeft = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &option) +
                         style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &option);
    QString caption = option.text();
    caption.remove(u'&');
    option.setFont(fittedFont(option.font(), caption, visibleWidth - textLeft - kGap));
}

void fillBackground(QWidget& widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
}

} // namespace

MainWindow::MainWindow(QString cataloguePath, CatalogueFiles& files, MessageBox& messages, FileDialog* fileDialog,
                       QWidget* parent)
    : QMainWindow(parent)
    , m_cataloguePath(std::move(cataloguePath))
    , m_files(files)
    , m_messages(messages)
    , m_cd1(new QtFileDialog(this))
    , m_fileDialog(fileDialog ? fileDialog : m_cd1)
    , m_search(m_cataloguePath, m_messages, kTitle.toString())
    , m_accessReaders(AccessChildReader::besideProgram())
{
    setObjectName(u"Form1"_s);
    setWindowTitle(kTitle.toString());
    setWindowIcon(windowIcon());
    m_cd1->setObjectName(u"CD1"_s);

    buildMenu();
    buildClientArea();
    startUp();
    fitOptionCaptions();
    nameControlsForScreenReaders();

    resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
    if (const QScreen* display = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), display->availableGeometry()));
    m_panes[0].searchBox->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenu()
{
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    file->setObjectName(u"MenuFile"_s);
    QAction* update = file->addAction(u"&Update database"_s);
    update->setObjectName(u"Update"_s);
    QAction* openEarlier = file->addAction(u"&Open earlier catalogue…"_s);
    openEarlier->setObjectName(u"OpenEarlier"_s);
    QAction* exit = file->addAction(u"&Exit"_s);
    exit->setObjectName(u"exit"_s);
    connect(update, &QAction::triggered, this, &MainWindow::runUpdate);
    connect(openEarlier, &QAction::triggered, this, &MainWindow::runOpenEarlier);
    connect(exit, &QAction::triggered, this, &MainWindow::close);
}

void MainWindow::buildClientArea()
{
    // Every control sits at a fixed place on the client area; a resize shows
    // empty space or cuts the panes off, nothing moves.
    auto* client = new QWidget(this);
    client->setObjectName(u"client"_s);
    QFont face(designFace());
    face.setPointSizeF(8.25);
    face.setWeight(QFont::Normal);
    client->setFont(face);
    QFont bold = face;
    bold.setWeight(QFont::Bold);
    setCentralWidget(client);

    for (const RuleLayout& rule : kRules) {
        auto* line = new QFrame(client);
        line->setObjectName(QLatin1StringView(rule.name));
        line->setFrameShape(QFrame::NoFrame);
        line->setAutoFillBackground(true);
        fillBackground(*line, QPalette::Window, kRuleColour);
        line->setGeometry(kRuleSpan.left(), rule.top / 15, kRuleSpan.width(), kRuleThickness);
    }

    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (size_t p = 0; p < paneLayouts().size(); ++p) {
        const PaneLayout& layout = paneLayouts()[p];
        const search::PaneDefinition& definition = layout.definition;
        Pane& pane = m_panes[p];
        pane.definition = &definition;

        pane.caption = new QLabel(client);
        pane.caption->setObjectName(QLatin1StringView(layout.captionLabel));
        pane.caption->setGeometry(layout.caption);

        for (int i = 0; i < definition.optionCount(); ++i) {
            const OptionLayout& option = layout.options[size_t(i)];
            auto* button = new OptionRadio(option.caption.toString().remove(u'&'), client);
            button->setObjectName(u"%1_%2"_s.arg(QLatin1StringView(definition.optionGroup)).arg(i));
            button->setGeometry(option.geometry);
            pane.options[size_t(i)] = button;
            tabOrder.emplace_back(option.tabIndex, button);
        }

        pane.searchBox = new SearchBox(client);
        pane.searchBox->setObjectName(QLatin1StringView(definition.searchBox));
        pane.searchBox->setGeometry(layout.searchBox);
        pane.searchBox->setFont(bold);
        fillBackground(*pane.searchBox, QPalette::Base, layout.colour);
        tabOrder.emplace_back(layout.searchTab, pane.searchBox);

        auto* occurrences = new QLabel(u"ricorrenze:"_s, client);
        occurrences->setObjectName(QLatin1StringView(layout.occurrencesLabel));
        occurrences->setGeometry(layout.occurrences);
        fitCaption(*occurrences);

        pane.count = new QLabel(client);
        pane.count->setObjectName(QLatin1StringView(definition.countLabel));
        pane.count->setGeometry(layout.count);
        pane.count->setFrameStyle(QFrame::Box | QFrame::Plain);
        pane.count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pane.count->setMargin(2);
        pane.count->setAutoFillBackground(true);
        fillBackground(*pane.count, QPalette::Window, layout.colour);

        std::array<QString, ResultTableModel::kColumns> headers;
        std::transform(layout.headers.begin(), layout.headers.end(), headers.begin(),
                       [](QStringView header) { return header.toString(); });
        pane.list = new ResultListWidget(layout.subject.toString(), headers, layout.colour, client);
        pane.list->setObjectName(QLatin1StringView(definition.resultList));
        pane.list->setGeometry(layout.list);
        tabOrder.emplace_back(layout.listTab, &pane.list->view());

        connect(pane.searchBox, &SearchBox::enterPressed, this, [this, p] { runSearch(m_panes[p]); });
    }

    std::sort(tabOrder.begin(), tabOrder.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
}

void MainWindow::startUp()
{
    m_panes[0].caption->setText(u"Cerca un articolo per..."_s);
    m_panes[1].caption->setText(u"Cerca un software Win per..."_s);
    m_panes[2].caption->setText(u"Cerca un software Mac per..."_s);
    m_panes[3].caption->setText(u"Cerca un groove per..."_s);
    for (const Pane& pane : m_panes)
        fitCaption(*pane.caption);

    // Articles are searched by title until the user picks another option.
    m_panes[0].options[0]->setChecked(true);

    // The options of the first two panes are reached with their access letters, not with Tab.
    for (const Pane& pane : {m_panes[0], m_panes[1]}) {
        for (OptionRadio* option : pane.options)
            option->setFocusPolicy(Qt::ClickFocus);
    }

    for (size_t p = 0; p < m_panes.size(); ++p) {
        for (int i = 0; i < m_panes[p].definition->optionCount(); ++i)
            m_panes[p].options[size_t(i)]->setText(paneLayouts()[p].options[size_t(i)].caption.toString());
    }

    m_tabulaz = '\t';
}

void MainWindow::fitOptionCaptions()
{
    for (const Pane& pane : m_panes) {
        for (int i = 0; i < pane.definition->optionCount(); ++i) {
            OptionRadio& option = *pane.options[size_t(i)];
            const bool last = i + 1 == pane.definition->optionCount();
            const int visible = last ? option.width() : pane.options[size_t(i) + 1]->x() - option.x();
            fitCaption(option, std::min(visible, option.width()));
        }
    }
}

void MainWindow::runSearch(const Pane& pane)
{
    QtTextBox searchBox(*pane.searchBox);
    QtLabel count(*pane.count);
    std::array<std::optional<QtOptionButton>, 3> options;
    search::PaneView view{searchBox, {}, *pane.list, count};
    for (int i = 0; i < pane.definition->optionCount(); ++i)
        view.options[size_t(i)] = &options[size_t(i)].emplace(*pane.options[size_t(i)]);
    m_search.run(*pane.definition, view, m_tabulaz);
}

void MainWindow::runUpdate()
{
    QtInputFile input;
    update::UpdateImport(m_cataloguePath, m_files, *m_fileDialog, m_messages, input).run();
}

void MainWindow::setEarlierCatalogue(catalogue::DemoCatalogue demo, QStringList accessReaders)
{
    m_demo = std::move(demo);
    m_accessReaders = std::move(accessReaders);
}

void MainWindow::runOpenEarlier()
{
    QtConversionProgress progress(kTitle.toString(), this);
    AccessChildReader reader(m_accessReaders);
    catalogue::EarlierCatalogueCommand(m_cataloguePath, m_demo, kTitle.toString(),
                                       {*m_fileDialog, m_messages, progress, m_files, reader})
        .run();
}

// What a screen reader speaks for each control. The captions become the
// buddies of what they caption; the search boxes are renamed whenever the
// chosen option changes, since each says which field it searches.
void MainWindow::nameControlsForScreenReaders()
{
    const auto nameSearchBox = [](const Pane& pane) {
        // As in a search: the selected option, or the first when none of the pane's is.
        int field = 0;
        for (int i = 0; i < pane.definition->optionCount(); ++i) {
            if (pane.options[size_t(i)]->isChecked())
                field = i;
        }
        // Qt announces every rename, even to the same name; the reader hears only real changes.
        const QString name = searchBoxName(pane.caption->text(), pane.options[size_t(field)]->text());
        if (pane.searchBox->accessibleName() != name)
            pane.searchBox->setAccessibleName(name);
    };

    for (size_t p = 0; p < m_panes.size(); ++p) {
        const Pane& pane = m_panes[p];
        const PaneLayout& layout = paneLayouts()[p];
        const QString subject = layout.subject.toString();

        pane.caption->setBuddy(pane.searchBox);
        if (auto* occurrences = centralWidget()->findChild<QLabel*>(QLatin1StringView(layout.occurrencesLabel)))
            occurrences->setBuddy(pane.count);

        for (int i = 0; i < pane.definition->optionCount(); ++i) {
            OptionRadio* option = pane.options[size_t(i)];
            option->setAccessibleName(optionName(subject, option->text()));
            option->setAccessibleDescription(searchBoxName(pane.caption->text(), option->text()));
            connect(option, &QAbstractButton::toggled, this, [this, nameSearchBox] {
                for (const Pane& each : m_panes)
                    nameSearchBox(each);
            });
        }
        nameSearchBox(pane);
        pane.searchBox->setAccessibleDescription(searchBoxDescription());

        for (QWidget* list : {static_cast<QWidget*>(pane.list), static_cast<QWidget*>(&pane.list->view())}) {
            list->setAccessibleName(pane.list->title());
            list->setAccessibleDescription(resultListDescription());
        }
        nameCount(*pane.count, subject);
    }
}

} // namespace ondiva::shell
