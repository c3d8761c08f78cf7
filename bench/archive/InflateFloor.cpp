// The least work an extraction can do: the whole archive read in one go, then for
// each member its folders made, its data inflated with a large buffer and written
// to a new file. No checks, no CRC, no time stamps: a floor to measure against.
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

uint32_t Get16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

// Each folder is made once.
void MakeParents(const std::string& path, std::set<std::string>& made) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') {
            std::string dir = path.substr(0, i);
            if (!made.insert(dir).second)
                continue;
            if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
                std::perror(dir.c_str());
                std::exit(1);
            }
        }
}

void WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w <= 0) {
            std::perror("write");
            std::exit(1);
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: inflate_floor ARCHIVE DESTDIR\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::fseek(f, 0, SEEK_END);
    std::vector<uint8_t> zip(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(zip.data(), 1, zip.size(), f) != zip.size())
        return 1;
    std::fclose(f);

    std::string dest = argv[2];
    if (dest.back() != '/')
        dest += '/';
    std::vector<uint8_t> out(256 * 1024);
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    size_t pos = 0;
    int files = 0;
    std::set<std::string> made;
    while (pos + 30 <= zip.size() && Get32(&zip[pos]) == 0x04034B50) {
        const uint8_t* h = &zip[pos];
        uint32_t method = Get16(h + 8), csize = Get32(h + 18);
        uint32_t nameLen = Get16(h + 26), extraLen = Get16(h + 28);
        std::string name(reinterpret_cast<const char*>(h + 30), nameLen);
        const uint8_t* data = h + 30 + nameLen + extraLen;
        pos += 30 + nameLen + extraLen + csize;
        std::string path = dest + name;
        MakeParents(path, made);
        if (name.back() == '/')
            continue;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            std::perror(path.c_str());
            return 1;
        }
        if (method == 0) {
            WriteAll(fd, data, csize);
        } else {
            inflateReset(&z);
            z.next_in = const_cast<Bytef*>(data);
            z.avail_in = csize;
            int rc;
            do {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                rc = inflate(&z, Z_NO_FLUSH);
                WriteAll(fd, out.data(), out.size() - z.avail_out);
            } while (rc == Z_OK);
            if (rc != Z_STREAM_END) {
                std::fprintf(stderr, "%s: inflate failed\n", name.c_str());
                return 1;
            }
        }
        ::close(fd);
        ++files;
    }
    inflateEnd(&z);
    std::printf("%d files\n", files);
    return 0;
}
