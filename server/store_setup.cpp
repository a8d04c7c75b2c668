#include "store_setup.h"

#include "directory_store.h"
#include "s3_credentials.h"
#include "s3_store.h"

namespace {

bool openS3Store(const ServerOptions& options, OpenedStore* opened, std::string* error,
                 std::string* warning) {
    // Without a shared file system, instances can only agree on a key that they are given.
    if (options.deleteKeyFile.empty()) {
        *error =
            "the S3 store needs --delete-key-file FILE, the same on every instance "
            "(make one with --new-delete-key FILE)";
        return false;
    }
    if (!opened->key.loadPrivate(options.deleteKeyFile, error)) return false;
    S3Settings settings;
    settings.endpoint = options.s3Endpoint;
    settings.bucket = options.s3Bucket;
    settings.region = options.s3Region;
    settings.prefix = options.s3Prefix;
    settings.connectTimeout = options.s3ConnectTimeout;
    settings.stallTimeout = options.s3StallTimeout;
    settings.totalTimeout = options.s3Timeout;
    if (!loadS3Credentials(options.s3CredentialsFile, &settings.accessKey, &settings.secretKey,
                           error)) {
        return false;
    }
    auto store = std::make_unique<S3Store>(settings, options.dataDir);
    if (!store->open(error, warning)) return false;
    opened->store = std::move(store);
    opened->description = "images in " + options.s3Endpoint + "/" + options.s3Bucket + "/" +
                          options.s3Prefix + ", temporary files in " + options.dataDir;
    return true;
}

}  // namespace

bool openStore(const ServerOptions& options, OpenedStore* opened, std::string* error,
               std::string* warning) {
    if (!options.s3Endpoint.empty()) return openS3Store(options, opened, error, warning);
    opened->directory = std::make_unique<Storage>();
    if (!opened->directory->open(options.dataDir, error)) return false;
    bool keyLoaded = options.deleteKeyFile.empty()
                         ? opened->key.loadOrCreate(options.dataDir + "/delete.key", error)
                         : opened->key.loadPrivate(options.deleteKeyFile, error);
    if (!keyLoaded) return false;
    opened->store = std::make_unique<DirectoryStore>(*opened->directory);
    opened->description = "data in " + options.dataDir;
    return true;
}
