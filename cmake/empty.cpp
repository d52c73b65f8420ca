// The engine library is assembled from the package archives.
