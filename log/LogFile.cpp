// Placeholder until the diagnostic log lands: a pending fault is dropped.
#include "TiffView.h"

void CTiffView::LogFile(const char*) { LogPending = 0; }
void CTiffView::GetLogPath(std::string& path) { path.clear(); }
void CTiffView::CreateSaveDir(std::string&) {}
