// "Import…": a field file (Leica GSI, LandXML) or a GNU Gama network brought into a working
// folder. The dialog takes the source file, the target folder and the instrument's accuracy,
// asks before working files in the folder are overwritten, shows what was taken and refused,
// and may open IMPORT.ptw and make the folder the working folder.
#pragma once

#include "common/clock.h"

#include <QDialog>

#include <filesystem>
#include <functional>

class QCheckBox;
class QLineEdit;

namespace ptw3 {

class ImportDialog : public QDialog {
public:
    using FolderChosen = std::function<void(const std::filesystem::path&)>;
    /// @param start where the file and folder dialogs open (the working folder)
    /// @param chosen takes the imported folder as the working folder
    ImportDialog(QWidget* parent, const Clock& clock, std::filesystem::path start,
                 FolderChosen chosen);

    /// "Importuj": checks the fields, imports, reports; the dialog closes when files were
    /// written.
    void runImport();

private:
    void chooseSource();
    void chooseFolder();
    /// A message box with Polish buttons; true for Tak.
    bool ask(const QString& text);
    void tell(const QString& title, const QString& text, bool failure);

    const Clock& m_clock;
    std::filesystem::path m_start;
    FolderChosen m_chosen;
    QLineEdit* m_source = nullptr;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_directionSigma = nullptr;
    QLineEdit* m_distanceSigma = nullptr;
    QCheckBox* m_openReport = nullptr;
    QCheckBox* m_useFolder = nullptr;
};

} // namespace ptw3
