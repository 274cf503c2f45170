// The simulator's library; its parts are added beside this file.
namespace devsim {
int placeholder() { return 0; }
} // namespace devsim
