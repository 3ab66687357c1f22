#pragma once

#include "catalogue/CatalogueBringIn.h"
#include "search/PaneSearch.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>

class QLabel;

namespace ondiva {
class CatalogueFiles;
class FileDialog;
class MessageBox;
class QtFileDialog;
} // namespace ondiva

namespace ondiva::shell {

class OptionRadio;
class ResultListWidget;
class SearchBox;

// The program's only window, Form1: four search panes (articles, Windows
// software, Macintosh software, grooves) stacked top to bottom, each with its
// options, search box, count and result list. Enter in a search box searches
// that pane. The eleven options form one exclusive set across all panes.
//
// The services the commands use come from outside, so that tests can pass
// fakes: the catalogue path, its file operations, the message box, and the
// open-file dialog (the window's own CD1 unless another one is given).
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QStringView kTitle = u"Ondiva Magazine Database Search Engine 1.0";

    MainWindow(QString cataloguePath, CatalogueFiles& files, MessageBox& messages, FileDialog* fileDialog = nullptr,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // What File ▸ Open earlier catalogue… needs beyond the window's services:
    // the shipped demo catalogue (which it may replace without keeping it) and
    // the Access reader programs.
    void setEarlierCatalogue(catalogue::DemoCatalogue demo, QStringList accessReaders);

public slots:
    // File > Update database: imports an update file into the catalogue.
    void runUpdate();
    // File > Open earlier catalogue…: brings another catalogue in the place of the one in use.
    void runOpenEarlier();

private:
    struct Pane {
        const search::PaneDefinition* definition = nullptr;
        QLabel* caption = nullptr;
        std::array<OptionRadio*, catalogue::kMaxColumns> options{};
        SearchBox* searchBox = nullptr;
        QLabel* count = nullptr;
        ResultListWidget* list = nullptr;
    };

    void buildMenu();
    void buildClientArea();
    void startUp();
    void fitOptionCaptions();
    void runSearch(const Pane& pane);
    void nameControlsForScreenReaders();

    QString m_cataloguePath;
    CatalogueFiles& m_files;
    MessageBox& m_messages;
    QtFileDialog* m_cd1;
    FileDialog* m_fileDialog;
    search::PaneSearch m_search;
    std::array<Pane, 4> m_panes;
    catalogue::DemoCatalogue m_demo;
    QStringList m_accessReaders;
    char m_tabulaz = 0; // the separator the searches put between a row's columns (Tabulaz)
};

} // namespace ondiva::shell
