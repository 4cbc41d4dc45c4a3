#include "window/import_dialog.h"

#include "editor/editor_window.h"
#include "interchange/import.h"
#include "interchange/instrument_profile.h"
#include "window/window_style.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

QString qtPath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

fs::path stdPath(const QString& path) {
    return fs::path(path.trimmed().toStdString());
}

QString joinedNames(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names) {
        list << fromUtf8(name);
    }
    return list.join(QStringLiteral(", "));
}

} // namespace

ImportDialog::ImportDialog(QWidget* parent, const Clock& clock, fs::path start,
                           FolderChosen chosen)
    : QDialog(parent)
    , m_clock(clock)
    , m_start(std::move(start))
    , m_chosen(std::move(chosen)) {
    setObjectName("ImportDialog");
    setWindowTitle(fromUtf8("Import danych do folderu roboczego"));

    const auto withBrowse = [this](QLineEdit*& edit, const char* name, const char* browseName,
                                   void (ImportDialog::*browse)()) {
        auto* row = new QHBoxLayout;
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setMinimumWidth(360);
        auto* button = new QToolButton(this);
        button->setObjectName(browseName);
        button->setText(fromUtf8("…"));
        connect(button, &QToolButton::clicked, this, [this, browse] { (this->*browse)(); });
        row->addWidget(edit);
        row->addWidget(button);
        return row;
    };
    auto* form = new QFormLayout;
    form->addRow(fromUtf8("Plik źródłowy:"),
                 withBrowse(m_source, "ImportSource", "ImportSourceBrowse",
                            &ImportDialog::chooseSource));
    form->addRow(fromUtf8("Folder docelowy:"),
                 withBrowse(m_folder, "ImportFolder", "ImportFolderBrowse",
                            &ImportDialog::chooseFolder));
    m_directionSigma = new QLineEdit(QStringLiteral("10cc"), this);
    m_directionSigma->setObjectName("ImportSigmaDirection");
    m_directionSigma->setToolTip(fromUtf8("np. 10cc, 1mgon, 3s"));
    form->addRow(fromUtf8("Błąd średni kierunku:"), m_directionSigma);
    m_distanceSigma = new QLineEdit(QStringLiteral("3mm+2ppm"), this);
    m_distanceSigma->setObjectName("ImportSigmaDistance");
    m_distanceSigma->setToolTip(fromUtf8("a + b·D, np. 3mm+2ppm, 5mm"));
    form->addRow(fromUtf8("Błąd średni długości:"), m_distanceSigma);

    auto* formats = new QLabel(
        fromUtf8("Format rozpoznawany z treści pliku: Leica GSI-8/16, LandXML 1.2, GNU Gama "
                 "(XML).\nBłędy średnie instrumentu dotyczą formatów, które ich nie zawierają."),
        this);
    formats->setWordWrap(true);
    m_openReport = new QCheckBox(fromUtf8("otwórz raport IMPORT.ptw"), this);
    m_openReport->setObjectName("ImportOpenReport");
    m_openReport->setChecked(true);
    m_useFolder = new QCheckBox(fromUtf8("ustaw folder jako roboczy"), this);
    m_useFolder->setObjectName("ImportUseFolder");
    m_useFolder->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* run = buttons->addButton(fromUtf8("Importuj"), QDialogButtonBox::AcceptRole);
    run->setObjectName("ImportRun");
    buttons->addButton(fromUtf8("Anuluj"), QDialogButtonBox::RejectRole);
    // The dialog stays open until an import has written its files.
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { runImport(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(formats);
    layout->addWidget(m_openReport);
    layout->addWidget(m_useFolder);
    layout->addWidget(buttons);
}

void ImportDialog::chooseSource() {
    QFileDialog dialog(this, fromUtf8("Wybierz plik do importu"), qtPath(m_start),
                       fromUtf8("Pliki pomiarowe (*.gsi *.GSI *.xml *.XML);;Wszystkie pliki (*)"));
    dialog.setObjectName("ImportSourceDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_source->setText(dialog.selectedFiles().front());
    }
}

void ImportDialog::chooseFolder() {
    QFileDialog dialog(this, fromUtf8("Wybierz folder docelowy (pusty lub nowy)"),
                       qtPath(m_start));
    dialog.setObjectName("ImportFolderDialog");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_folder->setText(dialog.selectedFiles().front());
    }
}

bool ImportDialog::ask(const QString& text) {
    QMessageBox box(QMessageBox::Question, fromUtf8("Potwierdzenie"), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(fromUtf8("Tak"));
    box.button(QMessageBox::No)->setText(fromUtf8("Nie"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void ImportDialog::tell(const QString& title, const QString& text, bool failure) {
    QMessageBox box(failure ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ImportDialog::runImport() {
    ImportRequest request;
    request.source = stdPath(m_source->text());
    request.folder = stdPath(m_folder->text());
    const std::optional<Real> directionCc =
        directionSigmaCc(m_directionSigma->text().trimmed().toStdString());
    const std::optional<DistanceSigma> distance =
        distanceSigma(m_distanceSigma->text().trimmed().toStdString());
    QString problem;
    if (request.source.empty()) {
        problem = fromUtf8("Podaj plik źródłowy.");
    } else if (request.folder.empty()) {
        problem = fromUtf8("Podaj folder docelowy.");
    } else if (!directionCc || !(*directionCc > 0)) {
        problem = fromUtf8("Błąd średni kierunku: podaj np. 10cc, 1mgon lub 3s.");
    } else if (!distance || !(distance->a + distance->ppm > 0)) {
        problem = fromUtf8("Błąd średni długości: podaj np. 3mm+2ppm lub 5mm.");
    }
    if (!problem.isEmpty()) {
        tell(fromUtf8("Import"), problem, true);
        return;
    }
    request.profile.directionCc = *directionCc;
    request.profile.distanceA = distance->a;
    request.profile.distancePpm = distance->ppm;

    // A large file takes seconds: the cursor says so.
    const auto import = [&] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ImportOutcome outcome = importIntoFolder(request, m_clock.now());
        QApplication::restoreOverrideCursor();
        return outcome;
    };
    ImportOutcome outcome = import();
    if (!outcome.existing.empty()) {
        if (!ask(fromUtf8("Nadpisać istniejące pliki robocze: " +
                          joinedNames(outcome.existing).toStdString() + "?"))) {
            return;
        }
        request.overwrite = true;
        outcome = import();
    }
    const bool reportWritten =
        std::find(outcome.written.begin(), outcome.written.end(), importReportFile) !=
        outcome.written.end();
    QString text = fromUtf8("Rekordy przyjęte: " + std::to_string(outcome.taken) +
                            ", odrzucone: " + std::to_string(outcome.refused) + ".");
    if (!outcome.error.empty()) {
        text = fromUtf8("Import nie powiódł się: " + outcome.error + ".\n") +
               (reportWritten ? text + fromUtf8("\nPrzyczyny w raporcie IMPORT.ptw.") : QString());
    } else {
        text = fromUtf8("Zaimportowano do folderu " + request.folder.string() + ".\n") + text +
               fromUtf8("\nZapisane pliki: ") + joinedNames(outcome.written) +
               (outcome.refused > 0 ? fromUtf8("\nPrzyczyny odrzucenia w raporcie IMPORT.ptw.")
                                    : QString());
    }
    tell(fromUtf8("Import"), text, !outcome.error.empty());
    if (reportWritten && m_openReport->isChecked()) {
        openInEditor(qtPath(request.folder / importReportFile), parentWidget());
    }
    if (outcome.done() && outcome.error.empty()) {
        if (m_useFolder->isChecked()) {
            m_chosen(request.folder);
        }
        accept();
    }
}

} // namespace ptw3
