// The registry as one text file per user (see Registry.h for the model).
#include "platform/Registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/FileIO.h"
#include "platform/Log.h"
#include "platform/RegistryText.h"

namespace nivexa::platform {

namespace {

using regtext::Document;

// Far above what the settings of a hundred camera positions take; a larger file is not ours
// (or is damaged) and is set aside instead of being parsed on every access.
constexpr off_t kMaxStoreBytes = 16 * 1024 * 1024;

void logStoreProblem(const std::string& text) {
  NIVEXA_LOG(Platform, Warning, "registry: %s", text.c_str());
}

std::string errnoText() {
  return std::to_string(errno);
}

std::string errorText(int error) {
  return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

// Identifies one version of the file: every rewrite renames a new inode into place, and an
// in-place edit changes the size or the modification time.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  bool present = false;

  static FileIdentity of(const struct stat& info) {
    return {info.st_dev,         info.st_ino,          info.st_size,
            info.st_mtim.tv_sec, info.st_mtim.tv_nsec, true};
  }
  bool operator==(const FileIdentity&) const = default;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

// flock on "<file>.lock". The lock file is opened for every access rather than kept: flock
// belongs to the open file, which a forked child would otherwise share with its parent.
class StoreLock {
 public:
  StoreLock(const std::string& storePath, bool exclusive)
      : fd_(open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_.valid()) {
      return;
    }
    while (flock(fd_.get(), exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        locked_ = false;
        return;
      }
    }
    locked_ = true;
  }
  bool locked() const { return locked_; }

 private:
  FileDescriptor fd_;
  bool locked_ = false;
};

std::string parentDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool directoryExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeDirectories(const std::string& path) {
  if (path.empty() || directoryExists(path)) {
    return true;
  }
  if (!makeDirectories(parentDirectory(path))) {
    return false;
  }
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

void syncDirectory(const std::string& path) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) {
    fsync(fd.get());
  }
}

// Temporary files of writers that died before their rename. Every writer holds the exclusive
// lock while its temporary exists, so under that lock any such file is a leftover.
void removeLeftoverTemporaries(const std::string& path) {
  const std::string folder = parentDirectory(path);
  const size_t slash = path.rfind('/');
  const std::string prefix =
      "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(directory)) {
    const std::string_view name = entry->d_name;
    if (name.starts_with(prefix) && name.ends_with(".tmp")) {
      unlinkat(dirfd(directory), entry->d_name, 0);
    }
  }
  closedir(directory);
}

struct Loaded {
  FileIdentity identity;
  std::shared_ptr<const Document> document;  // null when the file does not parse
  std::string problem;
  // The file is there but could not be read (permissions, an I/O error): nothing is known of
  // its content, so it is neither set aside nor written over.
  bool unreadable = false;
};

Loaded unreadableFile(const char* step, int error) {
  Loaded loaded;
  loaded.problem = std::string("cannot be read: ") + step + " failed: " + errorText(error);
  loaded.unreadable = true;
  return loaded;
}

// Reads and parses the file; the caller holds a lock. Only a missing file is an empty store.
Loaded loadFile(const std::string& path) {
  Loaded loaded;
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) {
      loaded.document = std::make_shared<Document>();  // nothing stored yet
      return loaded;
    }
    return unreadableFile("open", errno);
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) {
    return unreadableFile("fstat", errno);
  }
  if (!S_ISREG(info.st_mode)) {
    loaded.problem = "not a regular file";
    return loaded;
  }
  loaded.identity = FileIdentity::of(info);
  if (info.st_size > kMaxStoreBytes) {
    loaded.problem = "larger than " + std::to_string(kMaxStoreBytes) + " bytes";
    return loaded;
  }
  std::string text(static_cast<size_t>(info.st_size), '\0');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t got = read(fd.get(), text.data() + done, text.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      // Half a store parses as a smaller store, and the next save would keep only that half.
      Loaded failed = unreadableFile("read", errno);
      failed.identity = loaded.identity;
      return failed;
    }
    if (got == 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  text.resize(done);
  regtext::ParseResult parsed = regtext::parse(text);
  if (!parsed.ok) {
    loaded.problem = "line " + std::to_string(parsed.errorLine) + ": " + parsed.error;
    return loaded;
  }
  loaded.document = std::make_shared<Document>(std::move(parsed.document));
  return loaded;
}

// Every access of this process goes through one mutex: flock does not order threads that
// share a process, and the cache below is shared too.
std::mutex& storeMutex() {
  static auto* mutex = new std::mutex;  // never destroyed: threads may save during exit
  return *mutex;
}

// The last version read of each store file, so that reading many values costs one stat each
// while the file does not change.
std::map<std::string, Loaded>& cache() {
  static auto* entries = new std::map<std::string, Loaded>;
  return *entries;
}

void remember(const std::string& path, Loaded loaded) {
  auto& entries = cache();
  if (entries.size() > 16 && !entries.contains(path)) {
    entries.clear();
  }
  entries[path] = std::move(loaded);
}

enum class CachePolicy { Trust, Reread };

// The current document; the caller holds the store mutex and a lock. A reader uses the cached
// version when the file looks like the one read last. A writer always reads the file again:
// device, inode, size and time can all match a different file (ext4 hands a freed inode to the
// next new file, and an edit may keep the size and restore the time), and a change applied to
// a stale copy would silently undo what another program or a person wrote.
Loaded currentDocument(const std::string& path, CachePolicy policy) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      return unreadableFile("stat", errno);
    }
    return {FileIdentity{}, std::make_shared<Document>(), {}};
  }
  const auto it = cache().find(path);
  if (policy == CachePolicy::Trust && it != cache().end() && it->second.document &&
      it->second.identity.present && it->second.identity == FileIdentity::of(info)) {
    return it->second;
  }
  Loaded loaded = loadFile(path);
  if (loaded.document) {
    remember(path, loaded);
  } else if (!loaded.identity.present) {
    loaded.identity = FileIdentity::of(info);  // so that its report names this version
  }
  return loaded;
}

// One line per damaged version of a file, however often it is met.
void reportOnce(const std::string& path, const FileIdentity& identity, const std::string& text) {
  static std::map<std::string, FileIdentity> reported;
  const auto it = reported.find(path);
  if (it != reported.end() && it->second == identity) {
    return;
  }
  reported[path] = identity;
  logStoreProblem(text);
}

// Under the exclusive lock: a file that does not parse is renamed to "<file>.bad", never
// overwritten, and the store starts empty. Null when it could not be set aside, or could not be
// read at all: then nothing may be written over it either.
std::shared_ptr<const Document> currentDocumentForRepair(const std::string& path,
                                                         CachePolicy policy) {
  Loaded loaded = currentDocument(path, policy);
  if (loaded.document) {
    return loaded.document;
  }
  cache().erase(path);
  if (loaded.unreadable) {
    reportOnce(path, loaded.identity,
               path + ": " + loaded.problem + "; using defaults, no save until it can be read");
    return nullptr;
  }
  const std::string badPath = path + ".bad";
  if (rename(path.c_str(), badPath.c_str()) != 0) {
    reportOnce(path, loaded.identity,
               path + ": " + loaded.problem + "; cannot keep it as " + badPath + " (errno " +
                   errnoText() + "), using defaults and leaving it untouched");
    return nullptr;
  }
  syncDirectory(parentDirectory(path));
  reportOnce(path, loaded.identity,
             path + ": " + loaded.problem + "; kept as " + badPath + ", starting from defaults");
  return std::make_shared<Document>();
}

std::shared_ptr<const Document> readStore(const std::string& path) {
  if (path.empty() || !directoryExists(parentDirectory(path))) {
    return std::make_shared<Document>();
  }
  std::lock_guard guard(storeMutex());
  {
    const StoreLock lock(path, false);
    Loaded loaded = currentDocument(path, CachePolicy::Trust);
    if (loaded.document) {
      return loaded.document;
    }
  }
  // Setting the file aside needs the exclusive lock; whoever gets it first does it, and a
  // writer that replaced the file meanwhile makes it a good one again.
  const StoreLock lock(path, true);
  std::shared_ptr<const Document> document;
  if (lock.locked()) {
    document = currentDocumentForRepair(path, CachePolicy::Trust);
  }
  return document ? document : std::make_shared<Document>();
}

// Re-reads the file under the exclusive lock, applies `edit` and renames the new text into
// place. Returns the new document, or null when nothing was written.
template <typename Edit>
std::shared_ptr<const Document> updateStore(const std::string& path, Edit edit) {
  if (path.empty() || !makeDirectories(parentDirectory(path))) {
    logStoreProblem(path + ": its folder cannot be made (errno " + errnoText() +
                    "): settings are not saved");
    return nullptr;
  }
  std::lock_guard guard(storeMutex());
  const StoreLock lock(path, true);
  if (!lock.locked()) {
    logStoreProblem(path + ": cannot be locked (errno " + errnoText() +
                    "): settings are not saved");
    return nullptr;
  }
  const auto current = currentDocumentForRepair(path, CachePolicy::Reread);
  if (!current) {
    return nullptr;
  }
  auto document = std::make_shared<Document>(*current);
  if (!edit(*document)) {
    return nullptr;
  }
  removeLeftoverTemporaries(path);
  const std::string text = regtext::write(*document);
  AtomicFileWriter writer;
  if (!writer.open(path.c_str()) ||
      !writer.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()}) ||
      !writer.commit()) {
    logStoreProblem(path + ": cannot write (errno " + errnoText() + "): settings are not saved");
    return nullptr;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    remember(path, {FileIdentity::of(info), document, {}});
  }
  return document;
}

bool applyChange(Document& document, const RegistryChanges::Change& change) {
  using Kind = RegistryChanges::Change::Kind;
  if (!regtext::validKeyPath(change.keyPath)) {
    return false;
  }
  switch (change.kind) {
    case Kind::CreateKey:
      document.create(change.keyPath);
      return true;
    case Kind::SetDword:
    case Kind::SetBinary: {
      if (!regtext::validValueName(change.name)) {
        return false;
      }
      regtext::Value value;
      value.name = change.name;
      if (change.kind == Kind::SetDword) {
        value.type = regtext::kTypeDword;
        value.form = regtext::Form::Dword;
        value.data = regtext::dwordBytes(change.number);
      } else {
        value.type = regtext::kTypeBinary;
        value.form = regtext::Form::Hex;
        value.data = change.bytes;
      }
      document.create(change.keyPath).set(std::move(value));
      return true;
    }
    case Kind::RemoveKey:
      // The root stays: there is always a current user.
      if (change.keyPath.empty()) {
        return false;
      }
      document.remove(change.keyPath);
      return true;
  }
  return false;
}

}  // namespace

struct RegistryKey::State {
  std::string storePath;
  std::shared_ptr<const Document> document;  // the store as it was when the key was opened
};

RegistryKey::RegistryKey(std::string path, std::unique_ptr<State> state)
    : path_(std::move(path)), state_(std::move(state)) {}

RegistryKey::~RegistryKey() = default;

namespace {

std::unique_ptr<RegistryKey::State> openState(std::string_view path, std::string storePath,
                                              std::shared_ptr<const Document> document) {
  if (!regtext::validKeyPath(path) || !document || !document->exists(path)) {
    return nullptr;
  }
  return std::make_unique<RegistryKey::State>(
      RegistryKey::State{std::move(storePath), std::move(document)});
}

std::string childPath(const std::string& parent, std::string_view name) {
  return parent.empty() ? std::string(name) : parent + "\\" + std::string(name);
}

std::shared_ptr<const Document> applyTo(const std::string& storePath,
                                        const RegistryChanges& changes) {
  return updateStore(storePath, [&changes](Document& document) {
    for (const auto& change : changes.changes()) {
      if (!applyChange(document, change)) {
        return false;
      }
    }
    return true;
  });
}

// A change made through an open key shows in that key's view afterwards.
bool commitThroughKey(RegistryKey::State& state, const RegistryChanges& changes) {
  auto document = applyTo(state.storePath, changes);
  if (!document) {
    return false;
  }
  state.document = std::move(document);
  return true;
}

}  // namespace

std::unique_ptr<RegistryKey> RegistryKey::open(std::string_view path) {
  std::string storePath = registryFilePath();
  auto document = regtext::validKeyPath(path) ? readStore(storePath) : nullptr;
  auto state = openState(path, std::move(storePath), std::move(document));
  return state ? std::unique_ptr<RegistryKey>(new RegistryKey(std::string(path), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::create(std::string_view path) {
  std::string storePath = registryFilePath();
  RegistryChanges changes;
  changes.createKey(path);
  auto state = openState(path, storePath, applyTo(storePath, changes));
  return state ? std::unique_ptr<RegistryKey>(new RegistryKey(std::string(path), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::openSubkey(std::string_view name) const {
  std::string path = childPath(path_, name);
  auto state = openState(path, state_->storePath, state_->document);
  return state ? std::unique_ptr<RegistryKey>(new RegistryKey(std::move(path), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::createSubkey(std::string_view name) const {
  return create(childPath(path_, name));
}

std::vector<std::string> RegistryKey::subkeyNames() const {
  return state_->document->subkeyNames(path_);
}

std::vector<std::string> RegistryKey::valueNames() const {
  std::vector<std::string> names;
  if (const regtext::Key* key = state_->document->find(path_)) {
    for (const auto& value : key->values()) {
      names.push_back(value.name);
    }
  }
  return names;
}

std::optional<uint32_t> RegistryKey::queryDword(std::string_view name) const {
  const regtext::Key* key = state_->document->find(path_);
  const regtext::Value* value = key == nullptr ? nullptr : key->find(name);
  uint32_t number = 0;
  if (value == nullptr || value->type != regtext::kTypeDword ||
      !regtext::dwordFromBytes(value->data, number)) {
    return std::nullopt;
  }
  return number;
}

std::optional<std::vector<uint8_t>> RegistryKey::queryBinary(std::string_view name) const {
  const regtext::Key* key = state_->document->find(path_);
  const regtext::Value* value = key == nullptr ? nullptr : key->find(name);
  if (value == nullptr || value->type != regtext::kTypeBinary) {
    return std::nullopt;
  }
  return value->data;
}

bool RegistryKey::setDword(std::string_view name, uint32_t value) {
  RegistryChanges changes;
  changes.setDword(path_, name, value);
  return commitThroughKey(*state_, changes);
}

bool RegistryKey::setBinary(std::string_view name, std::span<const uint8_t> bytes) {
  RegistryChanges changes;
  changes.setBinary(path_, name, bytes);
  return commitThroughKey(*state_, changes);
}

bool RegistryChanges::apply() const {
  return changes_.empty() || applyTo(registryFilePath(), *this) != nullptr;
}

std::string registryFilePath() {
  if (const char* file = std::getenv("NIVEXA_REGISTRY_FILE"); file != nullptr && *file != '\0') {
    return file;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
    return std::string(config) + "/nivexa/registry.reg";
  }
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable != '\0') {
    home = variable;
  } else {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
      home = found->pw_dir;
    }
  }
  return home.empty() ? std::string() : home + "/.config/nivexa/registry.reg";
}

}  // namespace nivexa::platform
