#include "sim/chip_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "adapter/errors.h"

namespace varnok::sim {

namespace {

constexpr char kMagic[] = "VARNOKCHIP1\n";
constexpr std::size_t kMagicSize = sizeof(kMagic) - 1;
constexpr std::size_t kModelOffset = 12;
constexpr std::size_t kLockOffset = 13;

bool ModelFromCode(std::uint8_t code, Chip& model) {
    for (Chip candidate : {Chip::AT89C1051, Chip::AT89C2051, Chip::AT89C4051}) {
        if (ChipSignature(candidate) == code) {
            model = candidate;
            return true;
        }
    }
    return false;
}

FileError Damaged(const std::string& path, const std::string& what) {
    return FileError(path, 0,
                     "the simulated chip file " + path + " is damaged (" + what +
                         "); move it away or delete it to start with an erased chip");
}

void RequireModel(Chip model) {
    if (model == Chip::None) {
        throw std::invalid_argument(
            "the simulated chip needs a model: AT89C1051, AT89C2051 or AT89C4051");
    }
}

// Closes the descriptor on every path out of OpenFile that does not hand it on.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the whole erased file under a private name and links it into place, so
// that another process never sees a half-written chip file. If someone else
// created the file meanwhile, theirs stands.
void CreateErased(const std::string& path, Chip model) {
    RequireModel(model);
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) throw FileErrorFromErrno(parent.string(), "create the directory", ec.value());
    }
    const std::string temp = path + ".new-" + std::to_string(::getpid());
    FdGuard guard{::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    if (guard.fd < 0) throw FileErrorFromErrno(path, "create the simulated chip", errno);
    const std::vector<std::uint8_t> image = ChipStore::ErasedImage(model);
    if (!WriteAll(guard.fd, image.data(), image.size())) {
        int error = errno;
        ::unlink(temp.c_str());
        throw FileErrorFromErrno(path, "create the simulated chip", error);
    }
    ::close(guard.release());
    if (::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
        int error = errno;
        ::unlink(temp.c_str());
        throw FileErrorFromErrno(path, "create the simulated chip", error);
    }
    ::unlink(temp.c_str());
}

}  // namespace

std::vector<std::uint8_t> ChipStore::ErasedImage(Chip model) {
    std::vector<std::uint8_t> image(kHeaderSize + static_cast<std::size_t>(ChipCapacity(model)),
                                    0xFF);
    std::memcpy(image.data(), kMagic, kMagicSize);
    image[kModelOffset] = ChipSignature(model);
    image[kLockOffset] = 0;
    image[14] = 0;
    image[15] = 0;
    return image;
}

std::unique_ptr<ChipStore> ChipStore::InMemory(Chip model) {
    RequireModel(model);
    std::unique_ptr<ChipStore> store(new ChipStore);
    store->model_ = model;
    store->capacity_ = ChipCapacity(model);
    store->memory_ = ErasedImage(model);
    store->locks_ = store->memory_.data() + kLockOffset;
    store->flash_ = store->memory_.data() + kHeaderSize;
    return store;
}

std::unique_ptr<ChipStore> ChipStore::OpenFile(const std::string& path, Chip model) {
    FdGuard guard{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
    if (guard.fd < 0 && errno == ENOENT) {
        CreateErased(path, model);
        guard.fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (guard.fd < 0) throw FileErrorFromErrno(path, "open the simulated chip", errno);

    // The lock belongs to this open file description, so a second open of the
    // same file, even in this process, finds the chip in use, as a real port would be.
    if (::flock(guard.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw PortError(PortError::Cause::Busy, path,
                            "the simulated chip " + path + " is in use by another program");
        }
        throw FileErrorFromErrno(path, "lock the simulated chip", errno);
    }

    struct stat info {};
    if (::fstat(guard.fd, &info) != 0) throw FileErrorFromErrno(path, "read", errno);
    if (!S_ISREG(info.st_mode)) throw Damaged(path, "not a regular file");
    const auto size = static_cast<std::size_t>(info.st_size);
    std::uint8_t header[kHeaderSize];
    if (size < kHeaderSize) throw Damaged(path, "only " + std::to_string(size) + " bytes");
    if (::pread(guard.fd, header, kHeaderSize, 0) != static_cast<ssize_t>(kHeaderSize)) {
        throw FileErrorFromErrno(path, "read", errno);
    }
    if (std::memcmp(header, kMagic, kMagicSize) != 0) throw Damaged(path, "no chip file header");
    Chip fileModel{};
    if (!ModelFromCode(header[kModelOffset], fileModel)) throw Damaged(path, "unknown chip model");
    if (header[kLockOffset] > 0x03 || header[14] != 0 || header[15] != 0) {
        throw Damaged(path, "unknown header values");
    }
    const std::size_t expected = kHeaderSize + static_cast<std::size_t>(ChipCapacity(fileModel));
    if (size != expected) {
        throw Damaged(path, std::to_string(size) + " bytes where an " + ChipName(fileModel) +
                                " needs " + std::to_string(expected));
    }

    void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, guard.fd, 0);
    if (map == MAP_FAILED) throw FileErrorFromErrno(path, "map the simulated chip", errno);

    std::unique_ptr<ChipStore> store(new ChipStore);
    store->model_ = fileModel;
    store->capacity_ = ChipCapacity(fileModel);
    store->path_ = path;
    store->fd_ = guard.release();
    store->map_ = map;
    store->mapLength_ = size;
    auto* bytes = static_cast<std::uint8_t*>(map);
    store->locks_ = bytes + kLockOffset;
    store->flash_ = bytes + kHeaderSize;
    return store;
}

ChipStore::~ChipStore() {
    if (map_) ::munmap(map_, mapLength_);
    if (fd_ >= 0) ::close(fd_);  // releases the lock
}

}  // namespace varnok::sim
