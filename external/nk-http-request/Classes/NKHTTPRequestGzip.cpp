// Gzip bodies with zlib, in memory and file to file. Inflate detects a zlib or a gzip header by
// itself (window bits 15 + 32); deflate writes gzip (window bits 15 + 16).
#include <zlib.h>

#include <cstdio>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSString.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

namespace {
constexpr size_t kChunk = 16384;
constexpr int kInflateWindowBits = 15 + 32;
constexpr int kDeflateWindowBits = 15 + 16;
}  // namespace

Ref<NSData> NKHTTPRequest::uncompressZippedData(NSData* compressedData) {
    if (!compressedData) return nullptr;
    if (compressedData->length() == 0) return compressedData;
    const NSUInteger full = compressedData->length();
    const NSUInteger half = full / 2;
    Ref<NSMutableData> out = NSMutableData::dataWithLength(full + half);

    z_stream strm{};
    strm.next_in = static_cast<Bytef*>(const_cast<void*>(compressedData->bytes()));
    strm.avail_in = static_cast<uInt>(full);
    if (inflateInit2(&strm, kInflateWindowBits) != Z_OK) return nullptr;

    bool done = false;
    while (!done) {
        if (strm.total_out >= out->length()) out->increaseLengthBy(half > 0 ? half : 1);
        strm.next_out = static_cast<Bytef*>(out->mutableBytes()) + strm.total_out;
        strm.avail_out = static_cast<uInt>(out->length() - strm.total_out);
        int status = inflate(&strm, Z_SYNC_FLUSH);
        if (status == Z_STREAM_END) {
            done = true;
        } else if (status != Z_OK) {
            break;
        }
    }
    if (inflateEnd(&strm) != Z_OK || !done) return nullptr;
    out->setLength(static_cast<NSUInteger>(strm.total_out));
    return out;
}

Ref<NSData> NKHTTPRequest::compressData(NSData* uncompressedData) {
    if (!uncompressedData) return nullptr;
    if (uncompressedData->length() == 0) return uncompressedData;
    z_stream strm{};
    strm.next_in = static_cast<Bytef*>(const_cast<void*>(uncompressedData->bytes()));
    strm.avail_in = static_cast<uInt>(uncompressedData->length());
    if (deflateInit2(&strm, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kDeflateWindowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return nullptr;
    }
    Ref<NSMutableData> out = NSMutableData::dataWithLength(kChunk);
    do {
        if (strm.total_out >= out->length()) out->increaseLengthBy(kChunk);
        strm.next_out = static_cast<Bytef*>(out->mutableBytes()) + strm.total_out;
        strm.avail_out = static_cast<uInt>(out->length() - strm.total_out);
        deflate(&strm, Z_FINISH);
    } while (strm.avail_out == 0);
    deflateEnd(&strm);
    out->setLength(static_cast<NSUInteger>(strm.total_out));
    return out;
}

int NKHTTPRequest::uncompressZippedDataFromSource(FILE* source, FILE* dest) {
    z_stream strm{};
    if (inflateInit2(&strm, kInflateWindowBits) != Z_OK) return Z_MEM_ERROR;
    std::vector<unsigned char> in(kChunk), out(kChunk);
    int status = Z_OK;
    do {
        strm.avail_in = static_cast<uInt>(fread(in.data(), 1, kChunk, source));
        if (ferror(source)) {
            inflateEnd(&strm);
            return Z_ERRNO;
        }
        if (strm.avail_in == 0) break;
        strm.next_in = in.data();
        do {
            strm.avail_out = static_cast<uInt>(kChunk);
            strm.next_out = out.data();
            status = inflate(&strm, Z_NO_FLUSH);
            if (status == Z_NEED_DICT) status = Z_DATA_ERROR;
            if (status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == Z_STREAM_ERROR) {
                inflateEnd(&strm);
                return status;
            }
            size_t have = kChunk - strm.avail_out;
            if (fwrite(out.data(), 1, have, dest) != have || ferror(dest)) {
                inflateEnd(&strm);
                return Z_ERRNO;
            }
        } while (strm.avail_out == 0);
    } while (status != Z_STREAM_END);
    inflateEnd(&strm);
    return status == Z_STREAM_END ? Z_OK : Z_DATA_ERROR;
}

int NKHTTPRequest::compressDataFromSource(FILE* source, FILE* dest) {
    z_stream strm{};
    if (deflateInit2(&strm, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kDeflateWindowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return Z_MEM_ERROR;
    }
    std::vector<unsigned char> in(kChunk), out(kChunk);
    int flush;
    do {
        strm.avail_in = static_cast<uInt>(fread(in.data(), 1, kChunk, source));
        if (ferror(source)) {
            deflateEnd(&strm);
            return Z_ERRNO;
        }
        flush = feof(source) ? Z_FINISH : Z_NO_FLUSH;
        strm.next_in = in.data();
        do {
            strm.avail_out = static_cast<uInt>(kChunk);
            strm.next_out = out.data();
            deflate(&strm, flush);
            size_t have = kChunk - strm.avail_out;
            if (fwrite(out.data(), 1, have, dest) != have || ferror(dest)) {
                deflateEnd(&strm);
                return Z_ERRNO;
            }
        } while (strm.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&strm);
    return Z_OK;
}

namespace {
// Runs a stream operation from one file into a freshly created (or emptied) other.
template <class Op>
int fileToFile(NSString* sourcePath, NSString* destinationPath, Op op) {
    if (!sourcePath || !destinationPath) return 1;
    if (!NSFileManager::defaultManager()->createFileAtPath(destinationPath, nullptr, nullptr))
        return 1;
    FILE* source = fopen(sourcePath->utf8().c_str(), "rb");
    if (!source) return 1;
    FILE* dest = fopen(destinationPath->utf8().c_str(), "wb");
    if (!dest) {
        fclose(source);
        return 1;
    }
    int status = op(source, dest);
    fclose(source);
    if (fclose(dest) != 0 && status == 0) status = Z_ERRNO;
    return status;
}
}  // namespace

int NKHTTPRequest::uncompressZippedDataFromFile(NSString* sourcePath, NSString* destinationPath) {
    return fileToFile(sourcePath, destinationPath, &NKHTTPRequest::uncompressZippedDataFromSource);
}

int NKHTTPRequest::compressDataFromFile(NSString* sourcePath, NSString* destinationPath) {
    return fileToFile(sourcePath, destinationPath, &NKHTTPRequest::compressDataFromSource);
}
