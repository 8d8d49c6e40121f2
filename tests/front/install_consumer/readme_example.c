#include <stdio.h>
#include <nolmak/nolmak.h>

int main(int argc, char **argv)
{
    void *sdk = nolmak_create();                     /* local address: first adapter that is up */
    if (argc > 1) nolmak_set_local_ip(sdk, argv[1]); /* or the one given */
    int ok = nolmak_discover_all_devices(sdk, 1000, 50, 0);
    int32_t count = 0;
    const DiscoveryDev_T *cams = nolmak_last_found_devices(sdk, &count);
    for (int i = 0; i < count; i++)
        printf("%s  %s  %s\n", cams[i].ip, cams[i].mac, cams[i].netbios_name);
    nolmak_destroy(sdk);
    return ok ? 0 : 1;
}
