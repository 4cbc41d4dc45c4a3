// The text viewer and editor: one window per open request, each with its own
// document named by the window title. Files are read and written as
// Windows-1250 text; saving ends every line with CR LF, and warns before a
// character that Windows-1250 lacks is written as "?".
#pragma once

#include <QFont>
#include <QMainWindow>

class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QSlider;
class QTextEdit;

namespace ptw3 {

class FindDialog;

class EditorWindow : public QMainWindow {
    Q_OBJECT

public:
    /// The file-name part of a new, unnamed document's title.
    static const QString newDocumentName;

    explicit EditorWindow(QWidget* owner);

    /// The document's name: a file path, or a folder followed by "Nowy dokument".
    QString documentName() const { return m_documentName; }
    bool isModified() const;

    // The commands of the menus and the tool bar.
    void newDocument();
    void openDocument();
    /// Returns false when nothing was written (the save-as dialog cancelled or an error).
    bool save();
    bool saveAs();
    /// Prints through the platform's print dialog.
    void print();
    /// Prints the document to the given printer, as the print command does after its dialog.
    void printTo(QPrinter& printer);
    void undo();
    void showFindDialog();
    /// One press of the find dialog's find-next button.
    void findNext(const QString& searchText);
    void toggleBold();
    void chooseFont();

private:
    friend EditorWindow* openInEditor(const QString& path, QWidget* owner);

    void buildMenus();
    void buildToolBar();
    void setDocumentName(const QString& name);
    bool loadFile(const QString& path);
    bool writeFile(const QString& path);
    /// Names the characters of the text that Windows-1250 lacks, which the file would hold
    /// as "?", and asks whether to save anyway; true when there are none or the answer is
    /// to save.
    bool mayReplaceMissingCharacters(const QString& text);
    /// Asks whether to save a modified document; false when the user cancelled or the
    /// save failed, so the text must stay.
    bool maySetTextAside();
    void trackBarChanged(int value);
    void sizeFieldEntered();
    void preparePrintCopy();
    void showError(const QString& text);

    void closeEvent(QCloseEvent* event) override;

    QString m_documentName;
    QPlainTextEdit* m_text = nullptr;
    QTextEdit* m_printCopy = nullptr;
    QSlider* m_trackBar = nullptr;
    QLineEdit* m_sizeField = nullptr;
    FindDialog* m_findDialog = nullptr;
    QFont m_dialogFont; ///< the font last chosen in the font dialog
};

/// Opens a new editor window on the file (also when it is open in another window). A file
/// that does not exist gives a document holding one space, titled with the path, so that
/// saving creates the file.
EditorWindow* openInEditor(const QString& path, QWidget* owner);

} // namespace ptw3
