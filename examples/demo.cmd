demo
demo-password
uname -a
id
ls
echo "hello from ravlo"
