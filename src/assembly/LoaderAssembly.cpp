#include "LoaderAssembly.h"

LoaderAssembly::LoaderAssembly(Runtime& runtime, Dialogs& dialogs, const QString& dataDir,
                               Questions* questions, LinkFactory factory)
    : loader(runtime, dialogs, dataDir), connections(loader, std::move(factory)),
      procedures(loader, questions) {
    loader.links = &connections;
}

LoaderAssembly::~LoaderAssembly() {
    loader.links = nullptr;
}
