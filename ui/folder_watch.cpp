#include "ui/folder_watch.h"

namespace brevaro::ui {

FolderWatch::FolderWatch(Backend& backend, const platform::FileSystem& fs, std::string_view folder,
                         std::function<void()> on_change)
    : peer_(backend.watch_folder(fs, folder, std::move(on_change))) {}

FolderWatch::~FolderWatch() = default;

}  // namespace brevaro::ui
