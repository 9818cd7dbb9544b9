# Build-time product settings. A release build overrides these with -D on the
# cmake command line; the defaults point at the reference service on 127.0.0.1.
set(BREVARO_SERVICE_BASE_URL "http://127.0.0.1:18480/brevaro/" CACHE STRING "Service base URL (scheme, host, path segment brevaro/)")
set(BREVARO_SERVICE_IP "127.0.0.1" CACHE STRING "The service's fixed IPv4 address for the ICMP echo")
set(BREVARO_WEBSITE_URL "http://127.0.0.1:18480/" CACHE STRING "Product web-site address")
set(BREVARO_WEBSITE_HOST "127.0.0.1" CACHE STRING "Product web-site host name")
set(BREVARO_MAIL_SUPPORT "support@brevaro.example" CACHE STRING "Contact mail: support")
set(BREVARO_MAIL_PASSWORDS "passwords@brevaro.example" CACHE STRING "Contact mail: password matters")
set(BREVARO_MAIL_SUGGESTIONS "suggestions@brevaro.example" CACHE STRING "Contact mail: suggestions")
set(BREVARO_MAIL_MARKETING "marketing@brevaro.example" CACHE STRING "Contact mail: marketing")
set(BREVARO_MAIL_INFO "info@brevaro.example" CACHE STRING "General information address")
# How often the client fetches the advert list and how long each banner
# stays. The shipped programs keep 10 minutes and 60 s; the soak builds with
# short ones so that an hour holds hundreds of refreshes.
set(BREVARO_ADVERT_REFRESH_SECONDS "600" CACHE STRING "Seconds between advert list refreshes")
set(BREVARO_BANNER_ROTATION_SECONDS "60" CACHE STRING "Seconds each banner stays before the next (at least 1)")
