// Reads a disk list as the player does (cJSON, member "Playlist" in any
// case) and prints each entry as "url<TAB>title<TAB>startpos<TAB>length".
// Exit status 1 when the text is no JSON or has no "Playlist".
#include <cjson/cJSON.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = fopen(argv[1], "rb");
    if (!f) return 1;
    std::string text;
    char b[4096];
    size_t n;
    while ((n = fread(b, 1, sizeof b, f)) > 0) text.append(b, n);
    fclose(f);
    cJSON* doc = cJSON_Parse(text.c_str());
    cJSON* list = doc ? cJSON_GetObjectItem(doc, "Playlist") : nullptr;
    if (!list) return 1;
    for (int i = 0; i < cJSON_GetArraySize(list); i++) {
        cJSON* e = cJSON_GetArrayItem(list, i);
        cJSON* url = cJSON_GetObjectItemCaseSensitive(e, "url");
        cJSON* title = cJSON_GetObjectItemCaseSensitive(e, "title");
        cJSON* start = cJSON_GetObjectItemCaseSensitive(e, "startpos");
        cJSON* len = cJSON_GetObjectItemCaseSensitive(e, "length");
        printf("%s\t%s\t%d\t%d\n", cJSON_IsString(url) ? url->valuestring : "?",
               cJSON_IsString(title) ? title->valuestring : "?",
               cJSON_IsNumber(start) ? start->valueint : -9999,
               cJSON_IsNumber(len) ? len->valueint : -9999);
    }
    cJSON_Delete(doc);
    return 0;
}
