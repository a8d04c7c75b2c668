// The S3 access key pair: from a file of two lines (access key id, then secret key) that only
// its owner may read, or else from AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY. The secret never
// appears in an error message, the log or --help.
#pragma once

#include <string>

// `path` empty: the environment. false with one line in `error` when no usable pair is found.
bool loadS3Credentials(const std::string& path, std::string* accessKey, std::string* secretKey,
                       std::string* error);
