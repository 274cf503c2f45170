#include "LoaderAssembly.h"

LoaderAssembly::LoaderAssembly(Runtime& runtime, Dialogs& dialogs, const QString& dataDir,
                               Questions* questions, LinkFactory factory)
    : loader(runtime, dialogs, dataDir),
      connections({loader.runtime, loader.dialogs, loader.state, loader.choices, loader.terminal,
                   loader.output, loader.router, loader.Timer3, loader.timings},
                  std::move(factory)),
      procedures(loader, questions) {
    loader.links = &connections;
}

LoaderAssembly::~LoaderAssembly() {
    loader.links = nullptr;
}
