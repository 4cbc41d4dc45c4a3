#include "window/folder_choice.h"

#include "window/window_style.h"

#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include <system_error>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

QString qtPath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

fs::path stdPath(const QString& path) {
    return fs::path(path.toStdString());
}

} // namespace

FolderChoice::FolderChoice(QWidget* window, Chosen chosen)
    : m_window(window)
    , m_chosen(std::move(chosen)) {
    m_button = new QToolButton(window);
    m_button->setObjectName("FolderButton");
    m_button->setText(fromUtf8("Folder roboczy…"));
    m_button->setToolTip(fromUtf8("Wybierz folder roboczy; strzałka: ostatnio używane foldery"));
    m_button->setPopupMode(QToolButton::MenuButtonPopup);
    auto* menu = new QMenu(m_button);
    menu->setObjectName("RecentFolders");
    m_button->setMenu(menu);
}

void FolderChoice::showRecent(const std::vector<fs::path>& recent) {
    QMenu* menu = m_button->menu();
    menu->clear();
    std::error_code error;
    for (const fs::path& folder : recent) {
        if (!fs::is_directory(folder, error)) {
            continue;
        }
        QAction* action = menu->addAction(qtPath(folder));
        QObject::connect(action, &QAction::triggered, m_window,
                         [this, folder] { m_chosen(folder); });
    }
    if (menu->isEmpty()) {
        menu->addAction(fromUtf8("(brak ostatnio używanych folderów)"))->setEnabled(false);
    }
}

void FolderChoice::openDialog(const fs::path& current) {
    // A folder that is gone would be offered as a name to type: the dialog opens at the
    // nearest folder that is there.
    fs::path start = current;
    std::error_code error;
    while (!start.empty() && start != start.parent_path() && !fs::is_directory(start, error)) {
        start = start.parent_path();
    }
    QFileDialog dialog(m_window, fromUtf8("Wybierz folder roboczy"), qtPath(start));
    dialog.setObjectName("FolderDialog");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_chosen(stdPath(dialog.selectedFiles().front()));
    }
}

void FolderChoice::setEnabled(bool enabled) {
    m_button->setEnabled(enabled);
}

std::optional<fs::path> FolderChoice::droppedFolder(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return std::nullopt;
    }
    const fs::path folder = stdPath(urls.front().toLocalFile());
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace ptw3
